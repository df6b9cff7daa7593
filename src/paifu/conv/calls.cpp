#include "paifu/conv/calls.hpp"

#include <array>
#include <cstddef>
#include <string>

namespace paifu::conv {
namespace {

using mjai::Seat;

Error invalid_call_string(std::string_view text) {
  return replay_error(ConversionErrorKind::InvalidCallString, std::string(text));
}

// Reads the pair at `pos`; `text` is long enough by the caller's length check. Two digits that
// make a tile code are read here; anything else is left to the general reading, which also
// names the failure.
expected<Tile, Error> read_tile(std::string_view text, std::size_t pos) {
  const auto high = static_cast<unsigned char>(text[pos] - '0');
  const auto low = static_cast<unsigned char>(text[pos + 1] - '0');
  if (high < 10 && low < 10) {
    if (const auto tile = tile_from_code(static_cast<std::uint8_t>(high * 10 + low))) return *tile;
  }
  auto tile = tile_from_code_text(text, pos);
  if (!tile) return unexpected(replay_error(ConversionErrorKind::InvalidTile, std::move(tile.error())));
  return *tile;
}

// Reads the pairs at `positions` in that order; the first unreadable pair ends the reading.
template <std::size_t N>
expected<std::array<Tile, N>, Error> read_tiles(std::string_view text,
                                                               const std::array<std::size_t, N>& positions) {
  std::array<Tile, N> tiles{};
  for (std::size_t i = 0; i < N; ++i) {
    auto tile = read_tile(text, positions[i]);
    if (!tile) return unexpected(std::move(tile.error()));
    tiles[i] = *tile;
  }
  return tiles;
}

Seat seat_before(Seat actor) { return static_cast<Seat>((actor + 3) % 4); }
Seat seat_opposite(Seat actor) { return static_cast<Seat>((actor + 2) % 4); }
Seat seat_after(Seat actor) { return static_cast<Seat>((actor + 1) % 4); }

// The first position of `letter` in a short string, or npos: a plain loop, cheaper than a
// library search over a few bytes.
std::size_t position(std::string_view text, char letter) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == letter) return i;
  }
  return std::string_view::npos;
}

bool contains(std::string_view text, char letter) { return position(text, letter) != std::string_view::npos; }

// A called meld: the letter's position picks the seat the tile came from and where the called
// tile stands; the remaining pairs, left to right, are the consumed tiles. The called tile is
// read first.
struct MeldLayout {
  Seat target;
  std::size_t pai;
  std::array<std::size_t, 3> consumed;  // the first 2 for chi and pon
};

// A called meld's action; its tiles are read at the layout's positions, the called tile first.
template <std::size_t N>
expected<Action, Error> decode_meld(Seat actor, std::string_view text, mjai::EventKind kind,
                                    const MeldLayout& layout) {
  std::array<std::size_t, N> positions{layout.pai};
  for (std::size_t i = 1; i < N; ++i) positions[i] = layout.consumed[i - 1];
  auto tiles = read_tiles<N>(text, positions);
  if (!tiles) return unexpected(std::move(tiles.error()));
  Action action{kind, actor, layout.target, false, (*tiles)[0], {}};
  for (std::size_t i = 1; i < N; ++i) action.consumed[i - 1] = (*tiles)[i];
  return action;
}

}  // namespace

expected<Action, Error> decode_draw_action(Seat actor, std::string_view text) {
  using mjai::EventKind;
  if (contains(text, 'c')) {
    // Anywhere but position 0 the "c" lies inside a tile pair, which then fails to read.
    if (text.size() != 7) return unexpected(invalid_call_string(text));
    return decode_meld<3>(actor, text, EventKind::Chi, {seat_before(actor), 1, {3, 5, 0}});
  }
  if (const std::size_t p = position(text, 'p'); p != std::string_view::npos) {
    if (text.size() != 7) return unexpected(invalid_call_string(text));
    switch (p) {
      case 0: return decode_meld<3>(actor, text, EventKind::Pon, {seat_before(actor), 1, {3, 5, 0}});
      case 2: return decode_meld<3>(actor, text, EventKind::Pon, {seat_opposite(actor), 3, {0, 5, 0}});
      case 4: return decode_meld<3>(actor, text, EventKind::Pon, {seat_after(actor), 5, {0, 2, 0}});
      default: return unexpected(invalid_call_string(text));
    }
  }
  if (const std::size_t m = position(text, 'm'); m != std::string_view::npos) {
    if (text.size() != 9) return unexpected(invalid_call_string(text));
    switch (m) {
      case 0: return decode_meld<4>(actor, text, EventKind::Daiminkan, {seat_before(actor), 1, {3, 5, 7}});
      case 2: return decode_meld<4>(actor, text, EventKind::Daiminkan, {seat_opposite(actor), 3, {0, 5, 7}});
      case 6: return decode_meld<4>(actor, text, EventKind::Daiminkan, {seat_after(actor), 7, {0, 2, 4}});
      default: return unexpected(invalid_call_string(text));
    }
  }
  return unexpected(invalid_call_string(text));
}

expected<mjai::Event, Error> decode_draw_string(Seat actor, std::string_view text) {
  auto action = decode_draw_action(actor, text);
  if (!action) return unexpected(std::move(action.error()));
  return event_of(*action);
}

expected<DiscardCall, Error> decode_discard_string(Seat actor, std::string_view text) {
  if (const std::size_t k = position(text, 'k'); k != std::string_view::npos) {
    if (text.size() != 9) return unexpected(invalid_call_string(text));
    // The "k" stands where the "p" of the extended pon stood.
    std::array<std::size_t, 4> positions{};
    switch (k) {
      case 0: positions = {1, 3, 5, 7}; break;
      case 2: positions = {3, 0, 5, 7}; break;
      case 4: positions = {5, 0, 2, 7}; break;
      default: return unexpected(invalid_call_string(text));
    }
    auto tiles = read_tiles<4>(text, positions);
    if (!tiles) return unexpected(std::move(tiles.error()));
    const auto& t = *tiles;
    return DiscardCall(mjai::Kakan{actor, t[0], {t[1], t[2], t[3]}});
  }
  if (contains(text, 'a')) {
    // Anywhere but position 6 the "a" lies inside a tile pair, which then fails to read.
    if (text.size() != 9) return unexpected(invalid_call_string(text));
    auto tiles = read_tiles<4>(text, {0, 2, 4, 7});
    if (!tiles) return unexpected(std::move(tiles.error()));
    return DiscardCall(mjai::Ankan{actor, *tiles});
  }
  if (text.size() == 3) {
    // A reach declaration; its first character is not looked at. "60" is the log's
    // tsumogiri code: the tile is the one just drawn, filled in by the replay.
    Tile pai = kHiddenTile;
    if (text.substr(1) != "60") {
      auto tile = read_tile(text, 1);
      if (!tile) return unexpected(std::move(tile.error()));
      pai = *tile;
    }
    return DiscardCall(ReachDiscard{mjai::Reach{actor}, mjai::Dahai{actor, pai, pai == kHiddenTile}});
  }
  return unexpected(invalid_call_string(text));
}

}  // namespace paifu::conv
