// The compact form of the events of a seat's draw and discard lists, which the replay reads.
#pragma once

#include <array>

#include "paifu/base/tile.hpp"
#include "paifu/mjai/event.hpp"

namespace paifu::conv {

// One entry of a seat's decoded draw or discard list: the event it stands for, in a few bytes
// rather than a whole event, since every list entry of a game is one.
struct Action {
  mjai::EventKind kind = mjai::EventKind::None;
  mjai::Seat actor = 0;
  mjai::Seat target = 0;           // chi, pon and daiminkan
  bool tsumogiri = false;          // dahai
  Tile pai;                        // all but reach and ankan
  std::array<Tile, 4> consumed{};  // chi and pon fill 2, daiminkan and kakan 3, ankan 4
  friend bool operator==(const Action&, const Action&) = default;
};

// The action of a tsumo, dahai, chi, pon, daiminkan, kakan, ankan or reach event; of any other
// event only the kind is kept.
Action action_of(const mjai::Event& event);

// Calls `f` with the event of the action's kind (a None for a kind that has no action).
template <class F>
decltype(auto) visit_action(const Action& a, F&& f) {
  using mjai::EventKind;
  const auto& c = a.consumed;
  switch (a.kind) {
    case EventKind::Tsumo: return f(mjai::Tsumo{a.actor, a.pai});
    case EventKind::Dahai: return f(mjai::Dahai{a.actor, a.pai, a.tsumogiri});
    case EventKind::Chi: return f(mjai::Chi{a.actor, a.target, a.pai, {c[0], c[1]}});
    case EventKind::Pon: return f(mjai::Pon{a.actor, a.target, a.pai, {c[0], c[1]}});
    case EventKind::Daiminkan: return f(mjai::Daiminkan{a.actor, a.target, a.pai, {c[0], c[1], c[2]}});
    case EventKind::Kakan: return f(mjai::Kakan{a.actor, a.pai, {c[0], c[1], c[2]}});
    case EventKind::Ankan: return f(mjai::Ankan{a.actor, c});
    case EventKind::Reach: return f(mjai::Reach{a.actor});
    default: return f(mjai::None{});
  }
}

inline mjai::Event event_of(const Action& action) {
  return visit_action(action, [](const auto& kind) { return mjai::Event(kind); });
}

}  // namespace paifu::conv
