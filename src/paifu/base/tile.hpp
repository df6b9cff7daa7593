// Tiles: one byte indexing a fixed table of 38 identities, in mjai order.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include "paifu/base/expected.hpp"
#include <optional>
#include <string>
#include <string_view>

namespace paifu {

// 0-8 "1m".."9m", 9-17 "1p".."9p", 18-26 "1s".."9s", 27-33 "E","S","W","N","P","F","C",
// 34-36 the red fives "5mr","5pr","5sr", 37 the hidden tile "?". No other value is ever stored.
struct Tile {
  std::uint8_t index = 37;
  friend constexpr bool operator==(Tile, Tile) = default;
};

inline constexpr std::size_t kTileCount = 38;
inline constexpr Tile kHiddenTile{37};

// The tile of a Tenhou numeric code (0, 11-19, 21-29, 31-39, 41-47, 51-53), or nothing.
std::optional<Tile> tile_from_code(std::uint8_t code);

// The reader's message for a number that is not a tile code:
// "invalid value: 60, expected one of: 0, 11, ..., 53".
std::string invalid_tile_code_message(std::uint8_t code);

// Reads the two bytes of `call` at `pos` as a tile code. On failure returns the two characters
// as text (an invalid byte sequence becomes U+FFFD). The caller guarantees pos + 2 <= size.
expected<Tile, std::string> tile_from_code_text(std::string_view call, std::size_t pos);

// The mjai text of a tile.
std::string_view tile_name(Tile tile);

}  // namespace paifu
