// Byte-exact compact JSON for one mjai event.
#pragma once

#include "paifu/base/expected.hpp"
#include <string>

#include "paifu/mjai/event.hpp"

namespace paifu::mjai {

// An event that has no text: a tile outside the tile table, or an empty variant.
struct EncodeError {};

// Appends the event's JSON text to `out`. On failure `out` holds a partial text, which the
// caller discards.
expected<void, EncodeError> encode_event(const Event& event, std::string& out);

}  // namespace paifu::mjai
