// Replaying a game into its mjai events: the game frame, each kyoku's per-seat lists, and the
// replay that interleaves them.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "paifu/base/error.hpp"
#include "paifu/base/expected.hpp"
#include "paifu/conv/conversion_error.hpp"
#include "paifu/conv/game_log.hpp"
#include "paifu/mjai/encode.hpp"
#include "paifu/mjai/event.hpp"

namespace paifu::conv {

// The whole game as one event list, from start_game to end_game.
expected<std::vector<mjai::Event>, Error> run_game_frame(GameLog&& game);

// The same game straight to its lines, each event encoded as it is made.
expected<mjai::Lines, Error> encode_game(GameLog&& game);

// The events of one kyoku, from its start_kyoku to its end_kyoku.
expected<std::vector<mjai::Event>, Error> convert_kyoku(const PreparedKyoku& kyoku);

// The same events, appended to `events` (the game's list, so nothing is moved twice). On
// failure `events` may hold part of the kyoku; the caller drops the list.
expected<void, Error> append_kyoku_events(const PreparedKyoku& kyoku, std::vector<mjai::Event>& events);
expected<void, Error> append_kyoku_events(const PreparedKyoku& kyoku, mjai::LineWriter& lines);

// A bound on the number of events of a kyoku, for reserving room.
std::size_t kyoku_event_bound(const PreparedKyoku& kyoku);

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

// Each seat's decoded lists. A draw list holds only tsumo, chi, pon and daiminkan actions; a
// discard list only dahai, reach, kakan and ankan actions, every reach directly followed by its
// dahai. All actions of a seat's lists have that seat as actor.
struct SeatActions {
  std::array<std::vector<Action>, 4> draws;
  std::array<std::vector<Action>, 4> discards;
};

// Decodes every seat's draw and discard lists into `seats` (their room is kept from one kyoku
// to the next), pairing each seat's tsumogiri discards with the tiles it drew and dropping the
// hidden-tile fillers that stand opposite its calls.
expected<void, Error> build_seat_actions(const PreparedKyoku& kyoku, SeatActions& seats);

// Room for the choices a replay makes where a call could claim either of two discards (see
// kyoku_replay.cpp), kept from one kyoku to the next.
struct ReplayChoices {
  std::vector<bool> script;
  std::vector<bool> taken;
};

// Appends start_kyoku, the seats' lists interleaved into the play, and the result to `events`.
// On failure `events` may hold part of the kyoku; the caller drops it. Throws InternalFault
// when `seats` breaks the layout described at SeatActions.
expected<void, Error> replay_kyoku(const PreparedKyoku& kyoku, const SeatActions& seats,
                                   std::vector<mjai::Event>& events, ReplayChoices& choices);
expected<void, Error> replay_kyoku(const PreparedKyoku& kyoku, const SeatActions& seats, mjai::LineWriter& lines,
                                   ReplayChoices& choices);
expected<void, Error> replay_kyoku(const PreparedKyoku& kyoku, const SeatActions& seats,
                                   std::vector<mjai::Event>& events);

// What converting a kyoku needs besides its record, kept from one kyoku of a game to the next
// so that its room is reused.
struct KyokuScratch {
  SeatActions seats;
  ReplayChoices choices;
};

// append_kyoku_events with room kept across kyoku.
expected<void, Error> append_kyoku_events(const PreparedKyoku& kyoku, KyokuScratch& scratch,
                                          std::vector<mjai::Event>& events);
expected<void, Error> append_kyoku_events(const PreparedKyoku& kyoku, KyokuScratch& scratch,
                                          mjai::LineWriter& lines);

// Appends the hora or ryukyoku events of the kyoku's outcome, then end_kyoku.
void append_kyoku_result(std::vector<mjai::Event>& events, const PreparedKyoku& kyoku);
void append_kyoku_result(mjai::LineWriter& lines, const PreparedKyoku& kyoku);

}  // namespace paifu::conv
