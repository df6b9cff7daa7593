// The two stages of a kyoku's conversion, exposed for the kyoku converter and its tests.
#pragma once

#include <array>
#include <vector>

#include "paifu/base/expected.hpp"

#include "paifu/conv/conversion_error.hpp"
#include "paifu/conv/game_log.hpp"
#include "paifu/mjai/event.hpp"

namespace paifu::conv {

// Each seat's decoded lists. A draw list holds only tsumo, chi, pon and daiminkan events; a
// discard list only dahai, reach, kakan and ankan events, every reach directly followed by its
// dahai. All events of a seat's lists have that seat as actor.
struct SeatEvents {
  std::array<std::vector<mjai::Event>, 4> draws;
  std::array<std::vector<mjai::Event>, 4> discards;
};

// Decodes every seat's draw and discard lists, then pairs each seat's tsumogiri discards with the
// tiles it drew and drops the hidden-tile fillers that stand opposite its calls.
expected<SeatEvents, ConversionError> build_seat_events(const PreparedKyoku& kyoku);

// Appends start_kyoku, the seats' lists interleaved into the play, and the result to `events`.
// On failure `events` may hold part of the kyoku; the caller drops it. Throws InternalFault
// when `seats` breaks the layout described at SeatEvents.
expected<void, ConversionError> replay_kyoku(const PreparedKyoku& kyoku, const SeatEvents& seats,
                                             std::vector<mjai::Event>& events);

}  // namespace paifu::conv
