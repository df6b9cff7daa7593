// Replaying a game into its mjai events: the game frame, each kyoku's per-seat lists, and the
// replay that interleaves them.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "paifu/base/error.hpp"
#include "paifu/base/expected.hpp"
#include "paifu/conv/action.hpp"
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

// A bound on the number of events of a kyoku, for reserving room.
std::size_t kyoku_event_bound(const PreparedKyoku& kyoku);

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

// The choices a replay makes at the turns where a call could claim either this discard or a
// later one: true where the rule's choice was flipped. A replay follows `script` for its first
// choices and the rule after them, and records every choice it made in `taken`. Their room is
// kept from one kyoku to the next.
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

// What converting a kyoku needs besides its record, kept from one kyoku of a game to the next
// so that its room is reused.
struct KyokuScratch {
  SeatActions seats;
  ReplayChoices choices;
};

// The events of one kyoku appended to `events` (the game's list, so nothing is moved twice),
// with room kept across the kyoku of a game in `scratch`. On failure `events` may hold part of
// the kyoku; the caller drops the list.
expected<void, Error> append_kyoku_events(const PreparedKyoku& kyoku, KyokuScratch& scratch,
                                          std::vector<mjai::Event>& events);
expected<void, Error> append_kyoku_events(const PreparedKyoku& kyoku, KyokuScratch& scratch,
                                          mjai::LineWriter& lines);

// Appends the hora or ryukyoku events of the kyoku's outcome, then end_kyoku.
void append_kyoku_result(std::vector<mjai::Event>& events, const PreparedKyoku& kyoku);
void append_kyoku_result(mjai::LineWriter& lines, const PreparedKyoku& kyoku);

}  // namespace paifu::conv
