// Byte-exact compact JSON for one mjai event.
#pragma once

#include <expected>
#include <string>

#include "paifu/mjai/event.hpp"

namespace paifu::mjai {

struct EncodeError {};

// Appends the event's JSON text to `out`.
std::expected<void, EncodeError> encode_event(const Event& event, std::string& out);

}  // namespace paifu::mjai
