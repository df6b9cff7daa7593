// The replay: rebuilds the interleaved play of a kyoku from its per-seat lists.
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <optional>
#include <source_location>
#include <utility>
#include <variant>
#include <vector>

#include "paifu/conv/kyoku.hpp"
#include "paifu/base/internal_fault.hpp"
#include "paifu/mjai/encode.hpp"

namespace paifu::conv {
namespace {

using mjai::Event;
using mjai::EventKind;
using mjai::Seat;

// A tile's entry in the deferred-call table (tiles are small indices, so it is a plain array):
// ambiguous calls on it are accepted, then passed over twice, then accepted again.
enum class Deferral : std::uint8_t { None, Accepted, PassedOnce };

Seat next_seat(Seat seat) { return static_cast<Seat>((seat + 1) % 4); }

struct CallClaim {
  Seat target;
  Tile pai;
  int rank;  // who wins a discard claimed twice: pon over chi over daiminkan
};

std::optional<CallClaim> call_claim(const Action& action) {
  switch (action.kind) {
    case EventKind::Chi: return CallClaim{action.target, action.pai, 0};
    case EventKind::Pon: return CallClaim{action.target, action.pai, 1};
    case EventKind::Daiminkan: return CallClaim{action.target, action.pai, -1};
    default: return std::nullopt;
  }
}

// The call a failure names, as its mjai text.
std::string call_text(const Action& call) {
  std::string text;
  (void)mjai::encode_event(event_of(call), text);
  return text;
}

// An action's event, onto the game's list or straight into its line.
void emit(std::vector<Event>& events, const Action& action) { events.push_back(event_of(action)); }
// The calls, kans and reaches out of line, so that the tsumo and dahai copies, nine lines in
// ten, inline where they are made.
[[gnu::noinline]] void emit_other(mjai::LineWriter& lines, const Action& action) {
  visit_action(action, [&](const auto& kind) { lines.emplace_back(kind); });
}
[[gnu::always_inline]] inline void emit(mjai::LineWriter& lines, const Action& action) {
  switch (action.kind) {
    case EventKind::Tsumo: return lines.tsumo(action.actor, action.pai);
    case EventKind::Dahai: return lines.dahai(action.actor, action.pai, action.tsumogiri);
    default: return emit_other(lines, action);
  }
}

[[noreturn]] void broken_layout(const char* what,
                               SourceLocation where = SourceLocation::current()) {
  internal_fault(what, where);
}

// Where a replay stands in one of a seat's lists: pointers, not an index into the vector, so
// that taking an action is one load and one increment.
struct Cursor {
  const Action* next = nullptr;
  const Action* end = nullptr;
  static Cursor over(const std::vector<Action>& list) { return {list.data(), list.data() + list.size()}; }
  bool left() const { return next != end; }
  const Action& peek() const { return *next; }
  const Action& take() { return *next++; }
};

// Out is the game's event list, or a LineWriter that encodes each event as it comes.
template <class Out>
class Replay {
 public:
  Replay(const PreparedKyoku& kyoku, const SeatActions& seats, Out& events, ReplayChoices& choices)
      : kyoku_(kyoku), seats_(seats), events_(events), choices_(choices) {
    for (Seat seat = 0; seat < 4; ++seat) {
      draws_[seat] = Cursor::over(seats_.draws[seat]);
      discards_[seat] = Cursor::over(seats_.discards[seat]);
      draws_left_ += seats_.draws[seat].size();
      note_next_draw(seat);
    }
  }

  expected<void, Error> run() {
    if (auto ok = start_kyoku(); !ok) return ok;
    if (auto ok = play(); !ok) return ok;
    append_kyoku_result(events_, kyoku_);
    return {};
  }

 private:
  using Status = expected<void, Error>;

  static unexpected<Error> fail(ConversionErrorKind kind) {
    return unexpected(replay_error(kind));
  }

  Status start_kyoku() {
    const std::uint8_t k = kyoku_.header.kyoku;
    if (kyoku_.dora_indicators.empty()) return fail(ConversionErrorKind::DoraMarkersExhausted);
    const Tile bakaze{static_cast<std::uint8_t>(k < 12 ? 27 + k / 4 : 30)};
    events_.emplace_back(mjai::StartKyoku{bakaze, kyoku_.dora_indicators.front(),
                                          static_cast<std::uint8_t>(k % 4 + 1), kyoku_.header.honba,
                                          kyoku_.header.kyotaku, static_cast<Seat>(k % 4), kyoku_.scores,
                                          kyoku_.start_hands});
    current_seat_ = static_cast<Seat>(k % 4);
    return {};
  }

  // Reveals the next dora indicator.
  Status emit_dora() {
    if (dora_cursor_ >= kyoku_.dora_indicators.size()) return fail(ConversionErrorKind::DoraMarkersExhausted);
    events_.emplace_back(mjai::Dora{kyoku_.dora_indicators[dora_cursor_++]});
    return {};
  }

  // A dora owed by an older kan is revealed before the next tsumo.
  Status emit_tsumo(const Action& tsumo) {
    if (early_dora_pending_) {
      if (auto ok = emit_dora(); !ok) return ok;
    }
    early_dora_pending_ = false;
    emit(events_, tsumo);
    return {};
  }

  bool draws_left(Seat seat) const { return draws_[seat].left(); }
  bool discards_left(Seat seat) const { return discards_[seat].left(); }

  // The next draw event of `seat`; a call must claim the most recent discard, and before any
  // discard only a call on the hidden tile passes.
  expected<const Action*, Error> take_draw(Seat seat) {
    if (!draws_left(seat)) return fail(ConversionErrorKind::MissingDraw);
    const Action& event = draws_[seat].take();
    --draws_left_;
    note_next_draw(seat);
    if (const auto claim = call_claim(event)) {
      const bool claims_last = claim->pai == last_discard_tile_ &&
                               (!discard_seen_ || (claim->target == last_discarder_ && last_discarder_ != seat));
      if (!claims_last) return unexpected(replay_error(ConversionErrorKind::UnexpectedCall, call_text(event)));
    }
    return &event;
  }

  // Keeps whether the seat's next draw is a call: on most turns no seat's is, and then no seat
  // need be looked at for a claim on the discard.
  void note_next_draw(Seat seat) {
    next_draw_is_call_[seat] = draws_left(seat) && call_claim(draws_[seat].peek()).has_value();
  }

  // The four flags read as one word, the seat's own masked out.
  bool other_seat_calls_next(Seat seat) const {
    std::uint32_t flags = 0;
    std::memcpy(&flags, next_draw_is_call_.data(), sizeof flags);
    const unsigned byte = std::endian::native == std::endian::little ? seat : 3u - seat;
    return (flags & ~(std::uint32_t{0xFF} << (8 * byte))) != 0;
  }

  const Action& take_discard(Seat seat) { return discards_[seat].take(); }

  // Whether the seat will let `tile` go again. Asked only where a call could claim a discard, a
  // few times a kyoku, so the rest of its list is looked through rather than counts kept.
  bool lets_go_again(Seat seat, Tile tile) const {
    for (const Action* action = discards_[seat].next; action != discards_[seat].end; ++action) {
      if (action->kind == EventKind::Dahai && action->pai == tile) return true;
    }
    return false;
  }

  // A daiminkan and what follows it: its replacement draw, or a further daiminkan.
  Status play_daiminkan(Seat seat, const Action& kan) {
    if (kan_dora_pending_) {
      if (auto ok = emit_dora(); !ok) return ok;
    }
    emit(events_, kan);
    for (;;) {
      auto next = take_draw(seat);
      if (!next) return unexpected(std::move(next.error()));
      const Action& drawn = **next;
      if (drawn.kind == EventKind::Daiminkan) {
        if (auto ok = emit_dora(); !ok) return ok;
        emit(events_, drawn);
        continue;
      }
      kan_dora_pending_ = true;
      if (drawn.kind == EventKind::Tsumo) return emit_tsumo(drawn);
      emit(events_, drawn);
      return {};
    }
  }

  // Who moves after `seat` discarded `tile`. Where a caller other than the next seat could take
  // the discard, the rule's choice may be flipped by the script.
  Seat choose_next(Seat seat, Tile tile) {
    std::optional<Seat> caller;
    const Seat by_rule = choose_next_by_rule(seat, tile, caller);
    if (!caller || *caller == next_seat(seat)) return by_rule;
    const std::size_t index = choices_.taken.size();
    const bool flipped = index < choices_.script.size() && choices_.script[index];
    choices_.taken.push_back(flipped);
    if (!flipped) return by_rule;
    return by_rule == *caller ? next_seat(seat) : *caller;
  }

  // A seat whose next draw claims the discard, else the next seat; `caller` is set to the seat
  // whose call ranks highest, if any.
  Seat choose_next_by_rule(Seat seat, Tile tile, std::optional<Seat>& caller) {
    if (!other_seat_calls_next(seat)) return next_seat(seat);
    int best_rank = 0;
    for (Seat other = 0; other < 4; ++other) {
      if (other == seat || !draws_left(other)) continue;
      const auto claim = call_claim(draws_[other].peek());
      if (!claim || claim->target != seat || claim->pai != tile) continue;
      if (!caller || claim->rank >= best_rank) {
        caller = other;
        best_rank = claim->rank;
      }
    }
    if (!caller) return next_seat(seat);
    // When the discarder will let the same tile go again, the call may be meant for that later
    // discard; such calls are taken, passed over twice, then taken again, per tile.
    if (lets_go_again(seat, tile)) {
      Deferral& deferral = deferred_calls_.at(tile.index);
      switch (deferral) {
        case Deferral::None: deferral = Deferral::Accepted; return *caller;
        case Deferral::Accepted: deferral = Deferral::PassedOnce; return next_seat(seat);
        case Deferral::PassedOnce: deferral = Deferral::None; return next_seat(seat);
      }
    }
    return *caller;
  }

  bool all_seats_reached() const {
    for (const bool reached : reached_) {
      if (!reached) return false;
    }
    return true;
  }

  bool all_draws_used() const { return draws_left_ == 0; }

  // Plays turns until the kyoku ends; the result events are the caller's.
  Status play() {
    for (;;) {
      const Seat seat = current_seat_;
      if (auto drawn = play_draw(seat); !drawn) return drawn;
      // With nothing left to let go the seat won on its draw (or the kyoku was abandoned there).
      if (!discards_left(seat)) return {};
      auto turn = play_discard(seat);
      if (!turn) return unexpected(std::move(turn.error()));
      // Nobody draws any more: a win on this discard or kan, or an exhaustive draw.
      if (all_draws_used()) {
        place_fourth_reach_stick();
        return {};
      }
      if (auto passed = pass_turn(seat, **turn); !passed) return passed;
    }
  }

  // The seat's next draw event, with the reach stick owed before it and what a kan draw brings.
  Status play_draw(Seat seat) {
    auto taken = take_draw(seat);
    if (!taken) return unexpected(std::move(taken.error()));
    const Action& drawn = **taken;
    if (reach_pending_) events_.emplace_back(mjai::ReachAccepted{reach_declarer_});
    switch (drawn.kind) {
      case EventKind::Tsumo: return emit_tsumo(drawn);
      case EventKind::Chi:
      case EventKind::Pon: emit(events_, drawn); return {};
      case EventKind::Daiminkan: return play_daiminkan(seat, drawn);
      default: broken_layout("a draw list holds an event that is not a draw or a call");
    }
  }

  // The seat's next discard-list event (a reach with its dahai); yields the event that ends the
  // turn: the dahai, or the kan.
  expected<const Action*, Error> play_discard(Seat seat) {
    const Action& let_go = take_discard(seat);
    switch (let_go.kind) {
      case EventKind::Dahai:
      case EventKind::Reach:
      case EventKind::Kakan:
      case EventKind::Ankan: break;
      default: broken_layout("a discard list holds an event that is not a discard, reach or kan");
    }
    reach_pending_ = false;
    if (auto owed = settle_kan_dora(let_go); !owed) return unexpected(std::move(owed.error()));
    emit(events_, let_go);
    const Action* turn = &let_go;
    if (let_go.kind == EventKind::Reach) {
      if (!discards_left(seat)) return fail(ConversionErrorKind::MissingDiscardAfterReach);
      const Action& reach_dahai = take_discard(seat);
      if (reach_dahai.kind != EventKind::Dahai) broken_layout("a reach is not followed by its dahai");
      emit(events_, reach_dahai);
      reach_pending_ = true;
      reach_declarer_ = seat;
      reached_[seat] = true;
      turn = &reach_dahai;
    }
    if (turn->kind == EventKind::Dahai) last_discard_tile_ = turn->pai;
    return turn;
  }

  // A kan's dora is owed until the next discard or closed kan; an added kan pushes it back to
  // before its own replacement draw.
  Status settle_kan_dora(const Action& let_go) {
    if (!kan_dora_pending_) return {};
    if (let_go.kind == EventKind::Dahai || let_go.kind == EventKind::Ankan) {
      kan_dora_pending_ = false;
      return emit_dora();
    }
    if (let_go.kind == EventKind::Kakan) early_dora_pending_ = true;
    return {};
  }

  // When the fourth reach of the kyoku aborts it, its stick is placed before the result.
  void place_fourth_reach_stick() {
    if (reach_pending_ && std::holds_alternative<NoWin>(kyoku_.outcome) && all_seats_reached()) {
      events_.emplace_back(mjai::ReachAccepted{reach_declarer_});
    }
  }

  // After a kan the same seat draws again; after a dahai the turn passes on.
  Status pass_turn(Seat seat, const Action& turn) {
    switch (turn.kind) {
      case EventKind::Kakan: kan_dora_pending_ = true; return {};
      case EventKind::Ankan: return emit_dora();
      default:  // a dahai, alone or after its reach
        current_seat_ = choose_next(seat, turn.pai);
        last_discarder_ = seat;
        discard_seen_ = true;
        return {};
    }
  }

  const PreparedKyoku& kyoku_;
  const SeatActions& seats_;
  Out& events_;
  ReplayChoices& choices_;

  Seat current_seat_ = 0;
  std::array<Cursor, 4> draws_{};
  std::array<Cursor, 4> discards_{};
  std::size_t draws_left_ = 0;  // of all seats
  std::size_t dora_cursor_ = 1;  // indicator 0 went into start_kyoku
  Tile last_discard_tile_ = kHiddenTile;
  Seat last_discarder_ = 0;
  bool discard_seen_ = false;
  bool reach_pending_ = false;
  Seat reach_declarer_ = 0;
  std::array<bool, 4> reached_{};
  bool kan_dora_pending_ = false;
  bool early_dora_pending_ = false;
  std::array<Deferral, kTileCount> deferred_calls_{};
  std::array<bool, 4> next_draw_is_call_{};
};

// The path after `taken` in lexicographic order (the rule's choice before the flipped one): the
// latest choice that followed the rule is flipped, everything after it is left to the rule.
// False when every choice was already flipped.
bool next_path(std::vector<bool>& taken) {
  while (!taken.empty() && taken.back()) taken.pop_back();
  if (taken.empty()) return false;
  taken.back() = true;
  return true;
}

void truncate(std::vector<Event>& events, std::size_t count) {
  events.erase(events.begin() + static_cast<std::ptrdiff_t>(count), events.end());
}
void truncate(mjai::LineWriter& lines, std::size_t count) { lines.truncate(count); }

// The rule that places ambiguous calls can guess wrong on a legal kyoku. A kyoku whose replay
// fails is replayed again along the other choices, a bounded number of times; when none
// reaches an end, the first try's failure stands.
template <class Out>
expected<void, Error> replay_along_choices(const PreparedKyoku& kyoku, const SeatActions& seats, Out& events,
                                           ReplayChoices& choices) {
  constexpr int kMaxReplays = 64;
  const std::size_t start = events.size();
  choices.script.clear();
  std::optional<Error> first_failure;
  for (int replay = 0; replay < kMaxReplays; ++replay) {
    choices.taken.clear();
    auto played = Replay<Out>(kyoku, seats, events, choices).run();
    if (played) return played;
    if (!first_failure) first_failure = std::move(played.error());
    truncate(events, start);
    if (!next_path(choices.taken)) break;
    std::swap(choices.script, choices.taken);
  }
  return unexpected(std::move(*first_failure));
}

}  // namespace

expected<void, Error> replay_kyoku(const PreparedKyoku& kyoku, const SeatActions& seats, std::vector<Event>& events,
                                   ReplayChoices& choices) {
  return replay_along_choices(kyoku, seats, events, choices);
}

expected<void, Error> replay_kyoku(const PreparedKyoku& kyoku, const SeatActions& seats, mjai::LineWriter& lines,
                                   ReplayChoices& choices) {
  return replay_along_choices(kyoku, seats, lines, choices);
}

std::size_t kyoku_event_bound(const PreparedKyoku& kyoku) {
  // Every list entry gives one event, but a string in a discard list may be a reach: two events,
  // and a reach_accepted later (counted for every call string, which is cheaper than telling
  // the lists apart). Then start_kyoku, the dora events, the results and end_kyoku.
  std::size_t bound = kyoku.dora_indicators.size() + 3 + 2 * kyoku.lists.call_count();
  for (std::size_t seat = 0; seat < 4; ++seat) {
    bound += kyoku.lists.draws(seat).size() + kyoku.lists.discards(seat).size();
  }
  if (const Win* win = std::get_if<Win>(&kyoku.outcome)) bound += win->entries.size();
  return bound;
}

}  // namespace paifu::conv
