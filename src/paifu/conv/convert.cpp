#include "paifu/base/path_text.hpp"
#include "paifu/conv/convert.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

#include "paifu/conv/game_frame.hpp"
#include "paifu/conv/game_log.hpp"
#include "paifu/base/utf8.hpp"
#include "paifu/tenhou/raw_log.hpp"

namespace paifu::conv {
namespace {

using Lines = std::vector<std::string>;

ConversionFailure failure(ExceptionClass exception, std::string message) {
  return ConversionFailure{exception, std::move(message)};
}

// The class a read error is raised as, by the kind of its error number.
ExceptionClass read_error_class(int error) {
  switch (error) {
    case ENOENT: return ExceptionClass::FileNotFoundError;
    case EACCES:
    case EPERM: return ExceptionClass::PermissionError;
    case ECONNREFUSED: return ExceptionClass::ConnectionRefusedError;
    case ECONNRESET: return ExceptionClass::ConnectionResetError;
    case ECONNABORTED: return ExceptionClass::ConnectionAbortedError;
    case EPIPE: return ExceptionClass::BrokenPipeError;
    case EEXIST: return ExceptionClass::FileExistsError;
    case EAGAIN: return ExceptionClass::BlockingIOError;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK: return ExceptionClass::BlockingIOError;
#endif
    case ETIMEDOUT: return ExceptionClass::TimeoutError;
    case EINTR: return ExceptionClass::InterruptedError;
    default: return ExceptionClass::OSError;
  }
}

// strerror_r comes in two shapes; accept either.
[[maybe_unused]] const char* error_text(int result, const char* buffer) {
  return result == 0 ? buffer : "Unknown error";
}
[[maybe_unused]] const char* error_text(const char* text, const char*) { return text; }

// The system's text for an error number, then " (os error N)".
std::string os_error_description(int error) {
  std::array<char, 256> buffer{};
  std::string text = error_text(strerror_r(error, buffer.data(), buffer.size()), buffer.data());
  text += " (os error ";
  text += std::to_string(error);
  text += ')';
  return text;
}

ConversionFailure open_failure(std::string_view input_path) {
  std::string message = "failed to open ";
  message += SOURCE_LOG_LABEL;
  message += " log file ";
  message += quoted_path(input_path);
  return failure(ExceptionClass::FileNotFoundError, std::move(message));
}

class InputFile {
 public:
  InputFile(const SystemCalls& sys, int fd) : sys_(sys), fd_(fd) {}
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile() { sys_.close(fd_); }
  int get() const { return fd_; }

 private:
  const SystemCalls& sys_;
  int fd_;
};

// Reads the whole file at `path` into `text`; interrupted reads are retried.
expected<void, ConversionFailure> read_whole_file(std::string_view path, std::string& text,
                                                  const SystemCalls& sys) {
  if (path.find('\0') != std::string_view::npos) return unexpected(open_failure(path));
  const std::string c_path(path);
  int fd;
  do {
    fd = sys.open(c_path.c_str(), O_RDONLY | O_CLOEXEC, 0);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return unexpected(open_failure(path));
  const InputFile file(sys, fd);

  // The size is only a hint: the file may change while it is read, and a failed fstat is
  // harmless. One byte more lets the final read see the end without growing the buffer.
  std::size_t capacity = 8192;
  struct stat status {};
  if (sys.fstat(file.get(), &status) == 0 && status.st_size > 0) {
    capacity = static_cast<std::size_t>(status.st_size) + 1;
  }
  text.resize(capacity);
  std::size_t used = 0;
  for (;;) {
    if (used == text.size()) text.resize(text.size() * 2);
    const ssize_t got = sys.read(file.get(), text.data() + used, text.size() - used);
    if (got < 0) {
      const int error = errno;
      if (error == EINTR) continue;
      return unexpected(failure(read_error_class(error), os_error_description(error)));
    }
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  text.resize(used);
  return {};
}

expected<void, ConversionFailure> check_encoding(std::string_view text) {
  if (!utf8::is_valid(text)) {
    return unexpected(failure(ExceptionClass::OSError, "stream did not contain valid UTF-8"));
  }
  return {};
}

expected<tenhou::RawLog, ConversionFailure> parse(std::string_view text) {
  auto raw = tenhou::parse_raw_log(text);
  if (!raw) {
    std::string message = "failed to parse ";
    message += SOURCE_LOG_LABEL;
    message += " log";
    return unexpected(failure(ExceptionClass::JsonParsingError, std::move(message)));
  }
  return std::move(*raw);
}

// Prepare, replay and encode a parsed log.
expected<Lines, ConversionFailure> convert_parsed(tenhou::RawLog&& raw) {
  auto game = prepare_game_log(std::move(raw));
  if (!game) return unexpected(failure(ExceptionClass::TenhouLogParsingError, "invalid log"));
  auto events = run_game_frame(std::move(*game));
  if (!events) {
    std::string message = "failed to convert ";
    message += SOURCE_LOG_LABEL;
    message += " log to mjai";
    return unexpected(failure(ExceptionClass::TenhouToMjaiError, std::move(message)));
  }
  auto lines = encode_all(*events);
  if (!lines) return unexpected(failure(ExceptionClass::JsonSerializationError, "failed to serialize"));
  return std::move(*lines);
}

}  // namespace

std::string_view exception_class_name(ExceptionClass exception) {
  switch (exception) {
    case ExceptionClass::TenhouLogParsingError: return "TenhouLogParsingError";
    case ExceptionClass::TenhouToMjaiError: return "TenhouToMjaiError";
    case ExceptionClass::JsonSerializationError: return "JsonSerializationError";
    case ExceptionClass::JsonParsingError: return "JsonParsingError";
    case ExceptionClass::OSError: return "OSError";
    case ExceptionClass::FileNotFoundError: return "FileNotFoundError";
    case ExceptionClass::PermissionError: return "PermissionError";
    case ExceptionClass::ConnectionRefusedError: return "ConnectionRefusedError";
    case ExceptionClass::ConnectionResetError: return "ConnectionResetError";
    case ExceptionClass::ConnectionAbortedError: return "ConnectionAbortedError";
    case ExceptionClass::BrokenPipeError: return "BrokenPipeError";
    case ExceptionClass::FileExistsError: return "FileExistsError";
    case ExceptionClass::BlockingIOError: return "BlockingIOError";
    case ExceptionClass::TimeoutError: return "TimeoutError";
    case ExceptionClass::InterruptedError: return "InterruptedError";
  }
  return "OSError";
}

expected<Lines, ConversionFailure> convert_log_text(std::string_view text) {
  auto raw = parse(text);
  if (!raw) return unexpected(std::move(raw.error()));
  return convert_parsed(std::move(*raw));
}

expected<void, ConversionFailure> read_log_file(std::string_view path, std::string& bytes,
                                                const SystemCalls& sys) {
  return read_whole_file(path, bytes, sys);
}

expected<Lines, ConversionFailure> convert_log_bytes(std::string_view bytes) {
  if (auto valid = check_encoding(bytes); !valid) return unexpected(std::move(valid.error()));
  return convert_log_text(bytes);
}

expected<Lines, ConversionFailure> convert_log_file(std::string_view input_path,
                                                         std::optional<std::string_view> output_path,
                                                         const SystemCalls& sys) {
  // The file text is dropped once parsed; the log owns its own strings.
  auto raw = [&]() -> expected<tenhou::RawLog, ConversionFailure> {
    std::string text;
    if (auto read = read_whole_file(input_path, text, sys); !read) return unexpected(std::move(read.error()));
    if (auto valid = check_encoding(text); !valid) return unexpected(std::move(valid.error()));
    return parse(text);
  }();
  if (!raw) return unexpected(std::move(raw.error()));

  auto lines = convert_parsed(std::move(*raw));
  if (!lines || !output_path) return lines;

  if (auto delivered = deliver_lines(*lines, *output_path, sys); !delivered) {
    if (delivered.error() == OutputError::CreateFailed) {
      return unexpected(
          failure(ExceptionClass::OSError, "failed to create mjai out file " + plain_path(*output_path)));
    }
    return unexpected(failure(ExceptionClass::OSError, "failed to write to mjai out file"));
  }
  return lines;
}

}  // namespace paifu::conv
