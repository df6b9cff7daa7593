// The whole game as one event list, from start_game to end_game.
#pragma once

#include "paifu/base/expected.hpp"
#include <vector>

#include "paifu/conv/conversion_error.hpp"
#include "paifu/conv/game_log.hpp"
#include "paifu/mjai/event.hpp"

namespace paifu::conv {

expected<std::vector<mjai::Event>, ConversionError> run_game_frame(GameLog&& game);

}  // namespace paifu::conv
