#include "paifu/mjai/encode.hpp"

namespace paifu::mjai {

std::expected<void, EncodeError> encode_event(const Event&, std::string&) { return std::unexpected(EncodeError{}); }

}  // namespace paifu::mjai
