#include "cli/log_reader.hpp"

#include "paifu/base/file_io.hpp"
#include "paifu/conv/convert_mjlog.hpp"

namespace paifu::cli {

expected<conv::Lines, Error> LogReader::convert(const std::string& path, const SystemCalls& sys) {
  if (auto read_bytes = read(path, sys, input_); !read_bytes) {
    input_.clear();  // nothing counts as read
    return unexpected(std::move(read_bytes.error()));
  }
  return convert_bytes(path, input_);
}

expected<void, Error> LogReader::read(const std::string& path, const SystemCalls& sys, std::string& bytes) {
  bytes.clear();
  return read_file(sys, path, bytes);
}

expected<conv::Lines, Error> LogReader::convert_bytes(const std::string& path, std::string& bytes) {
  if (format_of(path) == conv::LogFormat::Mjlog) return conv::convert_mjlog_bytes(bytes, codec_, text_);
  if (!is_gzip_name(path)) return conv::convert_log_bytes(bytes);
  if (auto inflated = codec_.decompress(bytes, text_); !inflated) return unexpected(std::move(inflated.error()));
  return conv::convert_log_bytes(text_);
}

conv::LogFormat LogReader::format_of(std::string_view path) {
  return conv::is_mjlog_name(path) ? conv::LogFormat::Mjlog : conv::LogFormat::Tenhou6;
}

}  // namespace paifu::cli
