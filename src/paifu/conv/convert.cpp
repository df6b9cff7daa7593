#include "paifu/conv/convert.hpp"

#include <cerrno>
#include <utility>

#include "paifu/base/file_io.hpp"
#include "paifu/base/utf8.hpp"
#include "paifu/conv/game_log.hpp"
#include "paifu/conv/kyoku.hpp"
#include "paifu/conv/output.hpp"
#include "paifu/mjai/encode.hpp"
#include "paifu/tenhou/quick_reader.hpp"
#include "paifu/tenhou/raw_log.hpp"

namespace paifu::conv {
namespace {

// Bytes that are not UTF-8 fail as such, before any reader's verdict. The quick reader's parser
// checks UTF-8 as it reads (outside strings only ASCII is valid JSON, and strings are read as
// they stand), so a text it reads needs no check of its own.
expected<tenhou::RawLog, Error> parse_bytes(std::string_view bytes) {
  if (std::optional<tenhou::RawLog> quick = tenhou::read_log_quickly(bytes)) return std::move(*quick);
  if (!utf8::is_valid(bytes)) return unexpected(Error{Stage::Decode, EILSEQ, {}});
  return tenhou::read_log_exactly(bytes);
}

// Prepare, replay and encode a parsed log.
expected<Lines, Error> convert_parsed(tenhou::RawLog&& raw) {
  auto game = prepare_game_log(std::move(raw));
  if (!game) return unexpected(std::move(game.error()));
  return encode_game(std::move(*game));
}

}  // namespace

expected<Lines, Error> convert_log_text(std::string_view text) {
  auto raw = tenhou::parse_raw_log(text);
  if (!raw) return unexpected(std::move(raw.error()));
  return convert_parsed(std::move(*raw));
}

expected<Lines, Error> convert_log_bytes(std::string_view bytes) {
  auto raw = parse_bytes(bytes);
  if (!raw) return unexpected(std::move(raw.error()));
  return convert_parsed(std::move(*raw));
}

expected<Lines, Error> convert_log_file(std::string_view input_path, std::optional<std::string_view> output_path,
                                        const SystemCalls& sys) {
  // The file text is dropped once parsed; the log owns its own strings.
  auto raw = [&]() -> expected<tenhou::RawLog, Error> {
    std::string text;
    if (auto read = read_file(sys, input_path, text); !read) return unexpected(std::move(read.error()));
    return parse_bytes(text);
  }();
  if (!raw) return unexpected(std::move(raw.error()));

  return deliver_if_asked(convert_parsed(std::move(*raw)), output_path, sys);
}

}  // namespace paifu::conv
