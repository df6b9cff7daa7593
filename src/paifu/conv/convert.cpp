#include "paifu/conv/convert.hpp"

#include <cerrno>
#include <utility>

#include "paifu/base/file_io.hpp"
#include "paifu/base/utf8.hpp"
#include "paifu/conv/game_log.hpp"
#include "paifu/conv/kyoku.hpp"
#include "paifu/conv/output.hpp"
#include "paifu/mjai/encode.hpp"
#include "paifu/tenhou/raw_log.hpp"

namespace paifu::conv {
namespace {

expected<void, Error> check_encoding(std::string_view text) {
  if (!utf8::is_valid(text)) return unexpected(Error{Stage::Decode, EILSEQ, {}});
  return {};
}

expected<tenhou::RawLog, Error> parse(std::string_view text) {
  return tenhou::parse_raw_log(text);
}

// Prepare, replay and encode a parsed log.
expected<Lines, Error> convert_parsed(tenhou::RawLog&& raw) {
  auto game = prepare_game_log(std::move(raw));
  if (!game) return unexpected(std::move(game.error()));
  return encode_game(std::move(*game));
}

}  // namespace

expected<Lines, Error> convert_log_text(std::string_view text) {
  auto raw = parse(text);
  if (!raw) return unexpected(std::move(raw.error()));
  return convert_parsed(std::move(*raw));
}

expected<Lines, Error> convert_log_bytes(std::string_view bytes) {
  if (auto valid = check_encoding(bytes); !valid) return unexpected(std::move(valid.error()));
  return convert_log_text(bytes);
}

expected<Lines, Error> convert_log_file(std::string_view input_path, std::optional<std::string_view> output_path,
                                        const SystemCalls& sys) {
  // The file text is dropped once parsed; the log owns its own strings.
  auto raw = [&]() -> expected<tenhou::RawLog, Error> {
    std::string text;
    if (auto read = read_file(sys, input_path, text); !read) return unexpected(std::move(read.error()));
    if (auto valid = check_encoding(text); !valid) return unexpected(std::move(valid.error()));
    return parse(text);
  }();
  if (!raw) return unexpected(std::move(raw.error()));

  return deliver_if_asked(convert_parsed(std::move(*raw)), output_path, sys);
}

}  // namespace paifu::conv
