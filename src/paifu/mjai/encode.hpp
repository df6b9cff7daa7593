// Byte-exact compact JSON for one mjai event.
#pragma once

#include <string>
#include <vector>

#include "paifu/base/error.hpp"
#include "paifu/base/expected.hpp"
#include "paifu/mjai/event.hpp"

namespace paifu::mjai {

// Appends the event's JSON text to `out`. An event that has no text (a tile outside the tile
// table, or an empty variant) fails at stage Encode; `out` then holds a partial text, which the
// caller discards.
expected<void, Error> encode_event(const Event& event, std::string& out);

// One line per event, each encoded into its own buffer; the first failure discards them all.
expected<std::vector<std::string>, Error> encode_all(const std::vector<Event>& events);

}  // namespace paifu::mjai
