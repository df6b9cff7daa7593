#include "paifu/conv/calls.hpp"

namespace paifu::conv {

std::expected<mjai::Event, ConversionError> decode_draw_string(mjai::Seat, std::string_view text) {
  return std::unexpected(ConversionError{ConversionErrorKind::InvalidCallString, std::string(text), {}});
}

std::expected<DiscardCall, ConversionError> decode_discard_string(mjai::Seat, std::string_view text) {
  return std::unexpected(ConversionError{ConversionErrorKind::InvalidCallString, std::string(text), {}});
}

}  // namespace paifu::conv
