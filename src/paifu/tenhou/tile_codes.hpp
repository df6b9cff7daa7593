// The tile and the list element of every byte a log may write as a tile code, looked up by both
// readers rather than worked out per element.
#pragma once

#include <array>
#include <optional>

#include "paifu/base/tile.hpp"
#include "paifu/tenhou/raw_log.hpp"

namespace paifu::tenhou {

struct TileCodeTable {
  std::array<std::optional<Tile>, 256> tiles;  // tile_from_code of each byte
  // A tile, or else a marker: a table rather than a branch, which real lists make unpredictable.
  std::array<ActionItem, 256> items;
  TileCodeTable();
};
extern const TileCodeTable kTileCodes;

}  // namespace paifu::tenhou
