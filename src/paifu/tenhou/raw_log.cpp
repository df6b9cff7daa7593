#include "paifu/tenhou/raw_log.hpp"

namespace paifu::tenhou {

std::expected<RawLog, ParseError> parse_raw_log(std::string_view) {
  return std::unexpected(ParseError{ParseErrorKind::Syntax, "not implemented"});
}

}  // namespace paifu::tenhou
