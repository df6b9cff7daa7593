#include "paifu/tenhou/tile_codes.hpp"

#include <cstddef>
#include <cstdint>

namespace paifu::tenhou {

TileCodeTable::TileCodeTable() {
  for (std::size_t code = 0; code < tiles.size(); ++code) {
    const auto byte = static_cast<std::uint8_t>(code);
    tiles[code] = tile_from_code(byte);
    items[code] = tiles[code] ? ActionItem::tile(*tiles[code]) : ActionItem::marker(byte);
  }
}

const TileCodeTable kTileCodes;

}  // namespace paifu::tenhou
