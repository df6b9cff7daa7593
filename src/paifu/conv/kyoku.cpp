#include "paifu/conv/kyoku.hpp"

namespace paifu::conv {

std::expected<std::vector<mjai::Event>, ConversionError> convert_kyoku(const PreparedKyoku&) {
  return std::unexpected(ConversionError{ConversionErrorKind::MissingDraw, {}, {}});
}

void append_kyoku_result(std::vector<mjai::Event>&, const PreparedKyoku&) {}

}  // namespace paifu::conv
