#include "cli/log_reader.hpp"

#include "paifu/base/file_io.hpp"
#include "paifu/conv/convert_mjlog.hpp"

namespace paifu::cli {

expected<conv::Lines, Error> LogReader::convert(const std::string& path, const SystemCalls& sys) {
  input_.clear();
  if (auto read = read_file(sys, path, input_); !read) {
    input_.clear();  // nothing counts as read
    return unexpected(std::move(read.error()));
  }
  if (format_of(path) == conv::LogFormat::Mjlog) return conv::convert_mjlog_bytes(input_, codec_, text_);
  if (!is_gzip_name(path)) return conv::convert_log_bytes(input_);
  if (auto inflated = codec_.decompress(input_, text_); !inflated) return unexpected(std::move(inflated.error()));
  return conv::convert_log_bytes(text_);
}

conv::LogFormat LogReader::format_of(std::string_view path) {
  return conv::is_mjlog_name(path) ? conv::LogFormat::Mjlog : conv::LogFormat::Tenhou6;
}

}  // namespace paifu::cli
