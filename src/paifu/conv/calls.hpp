// Decoding the call, kan and reach strings of a kyoku's draw and discard lists.
#pragma once

#include "paifu/base/expected.hpp"
#include <string_view>
#include <variant>

#include "paifu/conv/action.hpp"
#include "paifu/conv/conversion_error.hpp"
#include "paifu/mjai/event.hpp"

namespace paifu::conv {

// A draw-list string: a chi, pon or daiminkan by `actor`.
expected<mjai::Event, Error> decode_draw_string(mjai::Seat actor, std::string_view text);
// The same, as the action the replay reads.
expected<Action, Error> decode_draw_action(mjai::Seat actor, std::string_view text);

// What a discard-list string becomes: one kakan or ankan, or a reach followed by its dahai.
struct ReachDiscard {
  mjai::Reach reach;
  mjai::Dahai dahai;
};
using DiscardCall = std::variant<mjai::Kakan, mjai::Ankan, ReachDiscard>;

expected<DiscardCall, Error> decode_discard_string(mjai::Seat actor, std::string_view text);

}  // namespace paifu::conv
