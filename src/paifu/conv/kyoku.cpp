#include "paifu/conv/kyoku.hpp"

#include <algorithm>
#include <cstddef>
#include <span>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "paifu/conv/calls.hpp"

namespace paifu::conv {
namespace {

using mjai::Event;
using mjai::EventKind;
using mjai::Seat;

// Appends an action of a kind that carries a tile. Written in place, field by field: an action
// composed elsewhere and copied in whole stalls on the read of its just-written bytes.
Action& append(std::vector<Action>& out, EventKind kind, Seat actor, Tile pai, bool tsumogiri = false) {
  Action& action = out.emplace_back();
  action.kind = kind;
  action.actor = actor;
  action.pai = pai;
  action.tsumogiri = tsumogiri;
  return action;
}

using Form = tenhou::ActionItem::Form;

// Room for a seat's list, kept from one kyoku to the next: made at once for a list longer than
// any kyoku's usually is, so that a game grows it no more than once.
void reserve_list(std::vector<Action>& list, std::size_t size) {
  constexpr std::size_t kTypicalRoom = 40;
  if (list.capacity() < size) list.reserve(std::max(size, kTypicalRoom));
}

expected<void, Error> decode_draws(Seat seat, const tenhou::ActionLists& lists, std::vector<Action>& out) {
  const std::span<const tenhou::ActionItem> items = lists.draws(seat);
  out.clear();
  reserve_list(out, items.size());
  // Each element gives one action: they are written through a local position, as stores
  // through the vector would make every next action reload its end.
  out.resize(items.size());
  Action* next = out.data();
  for (const tenhou::ActionItem& item : items) {
    switch (item.form()) {
      case Form::Tile: {
        Action& action = *next++;
        action.kind = EventKind::Tsumo;
        action.actor = seat;
        action.pai = item.tile();
        break;
      }
      case Form::Call: {
        auto action = decode_draw_action(seat, lists.call_text(item));
        if (!action) return unexpected(std::move(action.error()));
        *next++ = *action;
        break;
      }
      case Form::Marker: return unexpected(replay_error(ConversionErrorKind::MarkerInDrawList));
    }
  }
  out.resize(static_cast<std::size_t>(next - out.data()));
  return {};
}

// Appends a seat's discard-list actions as they are decoded, paired with its draws: the n-th
// draw goes with the n-th entry of the discard list, reach declarations left out. A tsumogiri
// discard takes the tile of its tsumo (it stays hidden opposite a call), and a hidden
// non-tsumogiri discard is the log's filler opposite a daiminkan, which is dropped. Once the
// draws run out the rest of the discard list is kept as it is.
class PairedDiscards {
 public:
  PairedDiscards(const std::vector<Action>& draws, std::vector<Action>& out)
      : draws_(draws.data()), draw_count_(draws.size()), out_(out) {}

  // Tsumogiri or not is as good as random: it is combined by bitwise operations and selects,
  // never branched on (a mispredicted branch costs more than the rest of the element).
  void push_dahai(Seat seat, Tile pai, bool tsumogiri) {
    Action& dahai = append(out_, EventKind::Dahai, seat, pai, tsumogiri);
    if (draw_ >= draw_count_) return;
    const Action& drawn = draws_[draw_++];
    const bool takes_drawn = tsumogiri & (drawn.kind == EventKind::Tsumo);
    // A mask, not `?:`, which the compiler turns back into a branch.
    const auto drawn_mask = static_cast<std::uint8_t>(-static_cast<int>(takes_drawn));
    dahai.pai.index = static_cast<std::uint8_t>((drawn.pai.index & drawn_mask) | (pai.index & ~drawn_mask));
    // Rare, so one well-predicted branch on both conditions at once: one comparison that only
    // a hidden tile without the tsumogiri bit passes.
    const unsigned hidden_unless_tsumogiri = pai.index | static_cast<unsigned>(tsumogiri) << 7;
    if (hidden_unless_tsumogiri == kHiddenTile.index) out_.pop_back();
  }
  // A reach, kakan or ankan; only the kans go with a draw.
  void push(const Action& action) {
    if (draw_ < draw_count_ && action.kind != EventKind::Reach) ++draw_;
    out_.push_back(action);
  }

 private:
  const Action* draws_;
  std::size_t draw_count_;
  std::vector<Action>& out_;
  std::size_t draw_ = 0;
};

expected<void, Error> decode_discards(Seat seat, const tenhou::ActionLists& lists, const std::vector<Action>& draws,
                                      std::vector<Action>& out) {
  const std::span<const tenhou::ActionItem> items = lists.discards(seat);
  out.clear();
  reserve_list(out, items.size() + 2);  // a reach adds one action
  PairedDiscards paired(draws, out);
  for (const tenhou::ActionItem& item : items) {
    if (item.form() != Form::Call) {
      // A tile, or a marker: any marker number means "the tile just drawn", which the pairing
      // fills in.
      paired.push_dahai(seat, item.tile_or_hidden(), item.is_marker());
    } else {
      auto decoded = decode_discard_string(seat, lists.call_text(item));
      if (!decoded) return unexpected(std::move(decoded.error()));
      if (const auto* reach = std::get_if<ReachDiscard>(&*decoded)) {
        paired.push(action_of(reach->reach));
        paired.push_dahai(seat, reach->dahai.pai, reach->dahai.tsumogiri);
      } else if (const auto* kakan = std::get_if<mjai::Kakan>(&*decoded)) {
        paired.push(action_of(*kakan));
      } else {
        paired.push(action_of(std::get<mjai::Ankan>(*decoded)));
      }
    }
  }
  return {};
}

template <std::size_t N>
std::array<Tile, 4> consumed_of(const std::array<Tile, N>& tiles) {
  std::array<Tile, 4> consumed{};
  for (std::size_t i = 0; i < N; ++i) consumed[i] = tiles[i];
  return consumed;
}

}  // namespace

Action action_of(const Event& event) {
  const EventKind kind = event.kind();
  if (const auto* e = event.get_if<mjai::Tsumo>()) return {kind, e->actor, 0, false, e->pai, {}};
  if (const auto* e = event.get_if<mjai::Dahai>()) return {kind, e->actor, 0, e->tsumogiri, e->pai, {}};
  if (const auto* e = event.get_if<mjai::Chi>()) return {kind, e->actor, e->target, false, e->pai, consumed_of(e->consumed)};
  if (const auto* e = event.get_if<mjai::Pon>()) return {kind, e->actor, e->target, false, e->pai, consumed_of(e->consumed)};
  if (const auto* e = event.get_if<mjai::Daiminkan>()) {
    return {kind, e->actor, e->target, false, e->pai, consumed_of(e->consumed)};
  }
  if (const auto* e = event.get_if<mjai::Kakan>()) return {kind, e->actor, 0, false, e->pai, consumed_of(e->consumed)};
  if (const auto* e = event.get_if<mjai::Ankan>()) return {kind, e->actor, 0, false, kHiddenTile, e->consumed};
  if (const auto* e = event.get_if<mjai::Reach>()) return {kind, e->actor, 0, false, kHiddenTile, {}};
  return {kind, 0, 0, false, kHiddenTile, {}};
}

expected<void, Error> build_seat_actions(const PreparedKyoku& kyoku, SeatActions& seats) {
  for (Seat seat = 0; seat < 4; ++seat) {
    if (auto ok = decode_draws(seat, kyoku.lists, seats.draws[seat]); !ok) return ok;
    if (auto ok = decode_discards(seat, kyoku.lists, seats.draws[seat], seats.discards[seat]); !ok) {
      return ok;
    }
  }
  return {};
}

namespace {

template <class Out>
expected<void, Error> append_events(const PreparedKyoku& kyoku, KyokuScratch& scratch, Out& events) {
  if (auto built = build_seat_actions(kyoku, scratch.seats); !built) return built;
  return replay_kyoku(kyoku, scratch.seats, events, scratch.choices);
}

void append_hora(std::vector<Event>& events, const HoraEntry& entry, const PreparedKyoku& kyoku) {
  const std::vector<Tile> ura_markers(kyoku.ura_indicators.begin(), kyoku.ura_indicators.end());
  events.emplace_back(mjai::Hora{entry.actor, entry.target, entry.deltas, ura_markers});
}
// The same line without copying the ura markers into an event.
void append_hora(mjai::LineWriter& lines, const HoraEntry& entry, const PreparedKyoku& kyoku) {
  lines.hora(entry.actor, entry.target, entry.deltas, kyoku.ura_indicators);
}

template <class Out>
void append_result(Out& events, const PreparedKyoku& kyoku) {
  if (const Win* win = std::get_if<Win>(&kyoku.outcome)) {
    for (const HoraEntry& entry : win->entries) append_hora(events, entry, kyoku);
  } else {
    events.emplace_back(mjai::Ryukyoku{std::get<NoWin>(kyoku.outcome).deltas});
  }
  events.emplace_back(mjai::EndKyoku{});
}

}  // namespace

expected<void, Error> append_kyoku_events(const PreparedKyoku& kyoku, KyokuScratch& scratch,
                                          std::vector<Event>& events) {
  return append_events(kyoku, scratch, events);
}

expected<void, Error> append_kyoku_events(const PreparedKyoku& kyoku, KyokuScratch& scratch,
                                          mjai::LineWriter& lines) {
  return append_events(kyoku, scratch, lines);
}

expected<std::vector<Event>, Error> convert_kyoku(const PreparedKyoku& kyoku) {
  std::vector<Event> events;
  events.reserve(kyoku_event_bound(kyoku));
  KyokuScratch scratch;
  if (auto ok = append_kyoku_events(kyoku, scratch, events); !ok) return unexpected(std::move(ok.error()));
  return events;
}

void append_kyoku_result(std::vector<Event>& events, const PreparedKyoku& kyoku) { append_result(events, kyoku); }

void append_kyoku_result(mjai::LineWriter& lines, const PreparedKyoku& kyoku) { append_result(lines, kyoku); }

}  // namespace paifu::conv
