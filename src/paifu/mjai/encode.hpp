// Byte-exact compact JSON for one mjai event.
#pragma once

#include <string>
#include <vector>

#include "paifu/base/error.hpp"
#include "paifu/base/expected.hpp"
#include "paifu/mjai/event.hpp"
#include "paifu/mjai/lines.hpp"

namespace paifu::mjai {

// Appends the event's JSON text to `out`. An event that has no text (a tile outside the tile
// table, or an empty variant) fails at stage Encode; `out` then holds a partial text, which the
// caller discards.
expected<void, Error> encode_event(const Event& event, std::string& out);

// One line per event, all in one buffer; the first failure discards them all.
expected<Lines, Error> encode_all(const std::vector<Event>& events);

}  // namespace paifu::mjai
