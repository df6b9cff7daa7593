#include "paifu/conv/failure_text.hpp"

#include <array>
#include <cerrno>
#include <cstring>

#include "paifu/base/file_io.hpp"
#include "paifu/base/path_text.hpp"

namespace paifu::conv {
namespace {

// strerror_r comes in two shapes; accept either.
[[maybe_unused]] const char* error_text(int result, const char* buffer) {
  return result == 0 ? buffer : "Unknown error";
}
[[maybe_unused]] const char* error_text(const char* text, const char*) { return text; }

std::string mebibytes(std::size_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

std::string decode_message(int number) {
  switch (number) {
    case EILSEQ: return "stream did not contain valid UTF-8";
    case ENODATA: return "failed to decompress gzip log (empty file)";
    case EFBIG: return "failed to decompress gzip log (larger than " + mebibytes(kMaxLogBytes) + ")";
    default: return "failed to decompress gzip log (corrupt or truncated data)";
  }
}

// An mjlog is named without the word "log": "failed to parse mjlog".
std::string mjlog_message(const Error& error, const FailurePaths& paths) {
  switch (error.stage) {
    case Stage::Open: return "failed to open mjlog file " + quoted_path(paths.input);
    case Stage::Parse: return "failed to parse mjlog";
    case Stage::Replay: return "failed to convert mjlog to mjai";
    default: return failure_message(error, paths, LogFormat::Tenhou6);
  }
}

}  // namespace

std::string os_error_description(int error) {
  std::array<char, 256> buffer{};
  std::string text = error_text(strerror_r(error, buffer.data(), buffer.size()), buffer.data());
  text += " (os error ";
  text += std::to_string(error);
  text += ')';
  return text;
}

std::string failure_message(const Error& error, const FailurePaths& paths, LogFormat format) {
  if (format == LogFormat::Mjlog) return mjlog_message(error, paths);
  const std::string label(kTenhouLabel);
  switch (error.stage) {
    case Stage::Open: return "failed to open " + label + " log file " + quoted_path(paths.input);
    case Stage::Read:
      if (error.number == EFBIG) return "log file larger than " + mebibytes(kMaxLogBytes);
      return os_error_description(error.number);
    case Stage::Decode: return decode_message(error.number);
    case Stage::Parse: return "failed to parse " + label + " log";
    case Stage::Prepare: return "invalid log";
    case Stage::Replay: return "failed to convert " + label + " log to mjai";
    case Stage::Encode: return "failed to serialize";
    case Stage::Create: return "failed to create mjai out file " + plain_path(paths.output);
    case Stage::Write: return "failed to write to mjai out file";
  }
  return "failed to convert " + label + " log to mjai";
}

}  // namespace paifu::conv
