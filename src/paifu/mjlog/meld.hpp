// The meld code of an mjlog call ("m" of an N element).
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace paifu::mjlog {

// A tile number of the mjlog, 0 to 135: the kind is n / 4.
using TileNumber = std::uint8_t;

enum class MeldKind : std::uint8_t { Chi, Pon, Kakan, Daiminkan, Ankan };

struct Meld {
  MeldKind kind;
  // The seat the tile came from, counted on from the caller: 1 the next seat, 2 the seat
  // opposite, 3 the seat before; 0 for an ankan. A kakan keeps the seat of its pon.
  std::uint8_t from;
  // The tile taken from the discard (chi, pon, daiminkan), or the tile added (kakan); for an
  // ankan the first of the four.
  TileNumber called;
  // The tiles of the caller's hand, ascending: 2 for chi and pon, 3 for daiminkan, 4 for ankan,
  // and for a kakan the two of the pon that were not called.
  std::array<TileNumber, 4> own;
  std::uint8_t own_count;
  // A kakan's pon: the tile that was called into it.
  TileNumber pon_called;
};

// The meld a code describes, or nothing for a code that is no four-player meld (a nukidora, a
// chi of honours, a tile beyond 135, a called meld from the caller's own seat).
std::optional<Meld> decode_meld(std::uint32_t code);

}  // namespace paifu::mjlog
