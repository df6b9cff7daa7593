#include "paifu/conv/convert_mjlog.hpp"

#include <utility>

#include "paifu/base/file_io.hpp"
#include "paifu/conv/output.hpp"
#include "paifu/mjai/encode.hpp"
#include "paifu/mjlog/game_reader.hpp"

namespace paifu::conv {
namespace {

expected<Lines, Error> convert_xml(std::string& text) { return mjlog::read_game(text); }

}  // namespace

bool is_mjlog_name(std::string_view path) {
  if (path.ends_with(".gz")) path.remove_suffix(3);
  return path.ends_with(".mjlog") || path.ends_with(".xml");
}

expected<Lines, Error> convert_mjlog_bytes(std::string& bytes, GzipCodec& codec, std::string& scratch) {
  if (!has_gzip_magic(bytes)) return convert_xml(bytes);
  if (auto inflated = codec.decompress(bytes, scratch); !inflated) return unexpected(std::move(inflated.error()));
  return convert_xml(scratch);
}

expected<Lines, Error> convert_mjlog_file(std::string_view input_path, std::optional<std::string_view> output_path,
                                          const SystemCalls& sys) {
  auto lines = [&]() -> expected<Lines, Error> {
    std::string bytes;
    if (auto read = read_file(sys, input_path, bytes); !read) return unexpected(std::move(read.error()));
    GzipCodec codec;
    std::string text;
    return convert_mjlog_bytes(bytes, codec, text);
  }();
  return deliver_if_asked(std::move(lines), output_path, sys);
}

}  // namespace paifu::conv
