#include "paifu/conv/kyoku.hpp"

#include <cstddef>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "paifu/conv/calls.hpp"

namespace paifu::conv {
namespace {

using mjai::Event;
using mjai::Seat;

expected<void, Error> decode_draws(Seat seat, const std::vector<tenhou::ActionItem>& items,
                                                  std::vector<Event>& out) {
  out.reserve(items.size());
  for (const tenhou::ActionItem& item : items) {
    if (const Tile* tile = std::get_if<Tile>(&item)) {
      out.emplace_back(mjai::Tsumo{seat, *tile});
    } else if (const tenhou::Call* call = std::get_if<tenhou::Call>(&item)) {
      auto event = decode_draw_string(seat, call->text);
      if (!event) return unexpected(std::move(event.error()));
      out.push_back(std::move(*event));
    } else {
      return unexpected(replay_error(ConversionErrorKind::MarkerInDrawList));
    }
  }
  return {};
}

expected<void, Error> decode_discards(Seat seat, const std::vector<tenhou::ActionItem>& items,
                                                     std::vector<Event>& out) {
  out.reserve(items.size() + 2);  // a reach adds one event
  for (const tenhou::ActionItem& item : items) {
    if (const Tile* tile = std::get_if<Tile>(&item)) {
      out.emplace_back(mjai::Dahai{seat, *tile, false});
    } else if (std::holds_alternative<tenhou::Marker>(item)) {
      // Any marker number means "the tile just drawn"; the pairing below fills it in.
      out.emplace_back(mjai::Dahai{seat, kHiddenTile, true});
    } else {
      auto decoded = decode_discard_string(seat, std::get<tenhou::Call>(item).text);
      if (!decoded) return unexpected(std::move(decoded.error()));
      std::visit(
          [&out](auto&& call) {
            if constexpr (std::is_same_v<std::decay_t<decltype(call)>, ReachDiscard>) {
              out.emplace_back(call.reach);
              out.emplace_back(call.dahai);
            } else {
              out.emplace_back(call);
            }
          },
          *decoded);
    }
  }
  return {};
}

// The n-th draw of a seat goes with the n-th entry of its discard list, reach declarations left
// out: a tsumogiri discard takes the tile of its tsumo (it stays hidden opposite a call), and a
// hidden non-tsumogiri discard is the log's filler opposite a daiminkan, which is dropped. Once
// the draws run out the rest of the discard list is kept as it is.
void pair_with_draws(std::vector<Event>& discards, const std::vector<Event>& draws) {
  std::size_t read = 0;
  std::size_t write = 0;
  std::size_t draw = 0;
  while (read < discards.size() && draw < draws.size()) {
    Event& event = discards[read];
    if (event.kind() != mjai::EventKind::Reach) {
      if (mjai::Dahai* dahai = event.get_if<mjai::Dahai>()) {
        if (dahai->tsumogiri) {
          if (const mjai::Tsumo* tsumo = draws[draw].get_if<mjai::Tsumo>()) dahai->pai = tsumo->pai;
        } else if (dahai->pai == kHiddenTile) {
          ++read;
          ++draw;
          continue;
        }
      }
      ++draw;
    }
    if (read != write) discards[write] = std::move(discards[read]);
    ++read;
    ++write;
  }
  if (read == write) return;
  while (read < discards.size()) discards[write++] = std::move(discards[read++]);
  discards.erase(discards.begin() + static_cast<std::ptrdiff_t>(write), discards.end());
}

}  // namespace

expected<SeatEvents, Error> build_seat_events(const PreparedKyoku& kyoku) {
  SeatEvents seats;
  for (Seat seat = 0; seat < 4; ++seat) {
    if (auto ok = decode_draws(seat, kyoku.draws[seat], seats.draws[seat]); !ok) {
      return unexpected(std::move(ok.error()));
    }
    if (auto ok = decode_discards(seat, kyoku.discards[seat], seats.discards[seat]); !ok) {
      return unexpected(std::move(ok.error()));
    }
    pair_with_draws(seats.discards[seat], seats.draws[seat]);
  }
  return seats;
}

namespace {

template <class Out>
expected<void, Error> append_events(const PreparedKyoku& kyoku, Out& events) {
  auto seats = build_seat_events(kyoku);
  if (!seats) return unexpected(std::move(seats.error()));
  return replay_kyoku(kyoku, *seats, events);
}

void append_hora(std::vector<Event>& events, const HoraEntry& entry, const PreparedKyoku& kyoku) {
  events.emplace_back(mjai::Hora{entry.actor, entry.target, entry.deltas, kyoku.ura_indicators});
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

expected<void, Error> append_kyoku_events(const PreparedKyoku& kyoku, std::vector<Event>& events) {
  return append_events(kyoku, events);
}

expected<void, Error> append_kyoku_events(const PreparedKyoku& kyoku, mjai::LineWriter& lines) {
  return append_events(kyoku, lines);
}

expected<std::vector<Event>, Error> convert_kyoku(const PreparedKyoku& kyoku) {
  std::vector<Event> events;
  events.reserve(kyoku_event_bound(kyoku));
  if (auto ok = append_kyoku_events(kyoku, events); !ok) return unexpected(std::move(ok.error()));
  return events;
}

void append_kyoku_result(std::vector<Event>& events, const PreparedKyoku& kyoku) { append_result(events, kyoku); }

void append_kyoku_result(mjai::LineWriter& lines, const PreparedKyoku& kyoku) { append_result(lines, kyoku); }

}  // namespace paifu::conv
