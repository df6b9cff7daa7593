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

// Reads the pair at `pos`; `text` is long enough by the caller's length check.
expected<Tile, Error> read_tile(std::string_view text, std::size_t pos) {
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

bool contains(std::string_view text, char letter) { return text.find(letter) != std::string_view::npos; }

// A called meld: the letter's position picks the seat the tile came from and where the called
// tile stands; the remaining pairs, left to right, are the consumed tiles. The called tile is
// read first.
struct MeldLayout {
  Seat target;
  std::size_t pai;
  std::array<std::size_t, 3> consumed;  // the first 2 for chi and pon
};

expected<mjai::Event, Error> decode_chi_or_pon(Seat actor, std::string_view text, bool chi,
                                                              const MeldLayout& layout) {
  auto tiles = read_tiles<3>(text, {layout.pai, layout.consumed[0], layout.consumed[1]});
  if (!tiles) return unexpected(std::move(tiles.error()));
  const auto& t = *tiles;
  if (chi) return mjai::Event(mjai::Chi{actor, layout.target, t[0], {t[1], t[2]}});
  return mjai::Event(mjai::Pon{actor, layout.target, t[0], {t[1], t[2]}});
}

}  // namespace

expected<mjai::Event, Error> decode_draw_string(Seat actor, std::string_view text) {
  if (contains(text, 'c')) {
    // Anywhere but position 0 the "c" lies inside a tile pair, which then fails to read.
    if (text.size() != 7) return unexpected(invalid_call_string(text));
    return decode_chi_or_pon(actor, text, true, {seat_before(actor), 1, {3, 5, 0}});
  }
  if (const std::size_t p = text.find('p'); p != std::string_view::npos) {
    if (text.size() != 7) return unexpected(invalid_call_string(text));
    switch (p) {
      case 0: return decode_chi_or_pon(actor, text, false, {seat_before(actor), 1, {3, 5, 0}});
      case 2: return decode_chi_or_pon(actor, text, false, {seat_opposite(actor), 3, {0, 5, 0}});
      case 4: return decode_chi_or_pon(actor, text, false, {seat_after(actor), 5, {0, 2, 0}});
      default: return unexpected(invalid_call_string(text));
    }
  }
  if (const std::size_t m = text.find('m'); m != std::string_view::npos) {
    if (text.size() != 9) return unexpected(invalid_call_string(text));
    MeldLayout layout{};
    switch (m) {
      case 0: layout = {seat_before(actor), 1, {3, 5, 7}}; break;
      case 2: layout = {seat_opposite(actor), 3, {0, 5, 7}}; break;
      case 6: layout = {seat_after(actor), 7, {0, 2, 4}}; break;
      default: return unexpected(invalid_call_string(text));
    }
    auto tiles = read_tiles<4>(text, {layout.pai, layout.consumed[0], layout.consumed[1], layout.consumed[2]});
    if (!tiles) return unexpected(std::move(tiles.error()));
    const auto& t = *tiles;
    return mjai::Event(mjai::Daiminkan{actor, layout.target, t[0], {t[1], t[2], t[3]}});
  }
  return unexpected(invalid_call_string(text));
}

expected<DiscardCall, Error> decode_discard_string(Seat actor, std::string_view text) {
  if (const std::size_t k = text.find('k'); k != std::string_view::npos) {
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
