// Replaying one kyoku into its mjai events.
#pragma once

#include "paifu/util/expected.hpp"
#include <vector>

#include "paifu/conv/conversion_error.hpp"
#include "paifu/conv/game_log.hpp"
#include "paifu/mjai/event.hpp"

namespace paifu::conv {

// The events of one kyoku, from its start_kyoku to its end_kyoku.
expected<std::vector<mjai::Event>, ConversionError> convert_kyoku(const PreparedKyoku& kyoku);

// Appends the hora or ryukyoku events of the kyoku's outcome, then end_kyoku.
void append_kyoku_result(std::vector<mjai::Event>& events, const PreparedKyoku& kyoku);

}  // namespace paifu::conv
