#include "paifu/base/tile.hpp"

#include <array>
#include <charconv>

#include "paifu/base/utf8.hpp"

namespace paifu {
namespace {

constexpr std::uint8_t kNoTile = 0xFF;
constexpr std::size_t kCodeTableSize = 54;

constexpr std::array<std::uint8_t, kCodeTableSize> make_code_table() {
  std::array<std::uint8_t, kCodeTableSize> table{};
  table.fill(kNoTile);
  table[0] = 37;
  for (int suit = 1; suit <= 3; ++suit) {
    for (int rank = 1; rank <= 9; ++rank) {
      table[10 * suit + rank] = static_cast<std::uint8_t>(9 * (suit - 1) + (rank - 1));
    }
  }
  for (int honor = 1; honor <= 7; ++honor) table[40 + honor] = static_cast<std::uint8_t>(26 + honor);
  for (int suit = 1; suit <= 3; ++suit) table[50 + suit] = static_cast<std::uint8_t>(33 + suit);
  return table;
}

constexpr auto kCodeTable = make_code_table();

constexpr std::array<std::string_view, kTileCount> kTileNames = {
    "1m",  "2m",  "3m",  "4m", "5m", "6m", "7m", "8m", "9m",  //
    "1p",  "2p",  "3p",  "4p", "5p", "6p", "7p", "8p", "9p",  //
    "1s",  "2s",  "3s",  "4s", "5s", "6s", "7s", "8s", "9s",  //
    "E",   "S",   "W",   "N",  "P",  "F",  "C",               //
    "5mr", "5pr", "5sr", "?"};

}  // namespace

std::optional<Tile> tile_from_code(std::uint8_t code) {
  if (code >= kCodeTableSize || kCodeTable[code] == kNoTile) return std::nullopt;
  return Tile{kCodeTable[code]};
}

std::string invalid_tile_code_message(std::uint8_t code) {
  std::string message = "invalid value: " + std::to_string(code) + ", expected one of: ";
  bool first = true;
  for (std::size_t c = 0; c < kCodeTableSize; ++c) {
    if (kCodeTable[c] == kNoTile) continue;
    if (!first) message += ", ";
    message += std::to_string(c);
    first = false;
  }
  return message;
}

expected<Tile, std::string> tile_from_code_text(std::string_view call, std::size_t pos) {
  const std::string_view pair = call.substr(pos, 2);
  // An optional leading '+', then one or more ASCII digits, nothing else.
  std::string_view digits = pair;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  unsigned value = 0;
  const bool all_digits = !digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos;
  if (all_digits) {
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (auto tile = value <= 0xFF ? tile_from_code(static_cast<std::uint8_t>(value)) : std::nullopt) return *tile;
  }
  return unexpected(utf8::to_lossy(pair));
}

std::string_view tile_name(Tile tile) { return kTileNames.at(tile.index); }

}  // namespace paifu
