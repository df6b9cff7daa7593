// Replaying one kyoku into its mjai events.
#pragma once

#include "paifu/base/expected.hpp"
#include <vector>

#include "paifu/conv/conversion_error.hpp"
#include "paifu/conv/game_log.hpp"
#include "paifu/mjai/event.hpp"

namespace paifu::conv {

// The events of one kyoku, from its start_kyoku to its end_kyoku.
expected<std::vector<mjai::Event>, ConversionError> convert_kyoku(const PreparedKyoku& kyoku);

// The same events, appended to `events` (the game's list, so nothing is moved twice). On
// failure `events` may hold part of the kyoku; the caller drops the list.
expected<void, ConversionError> append_kyoku_events(const PreparedKyoku& kyoku, std::vector<mjai::Event>& events);

// A bound on the number of events of a kyoku, for reserving room.
std::size_t kyoku_event_bound(const PreparedKyoku& kyoku);

// Appends the hora or ryukyoku events of the kyoku's outcome, then end_kyoku.
void append_kyoku_result(std::vector<mjai::Event>& events, const PreparedKyoku& kyoku);

}  // namespace paifu::conv
