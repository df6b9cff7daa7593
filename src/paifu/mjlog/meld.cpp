#include "paifu/mjlog/meld.hpp"

namespace paifu::mjlog {
namespace {

constexpr std::uint32_t kChiBit = 0x0004;
constexpr std::uint32_t kPonBit = 0x0008;
constexpr std::uint32_t kKakanBit = 0x0010;
constexpr std::uint32_t kNukidoraBit = 0x0020;
constexpr unsigned kKinds = 34;

std::optional<Meld> decode_chi(std::uint32_t code) {
  const std::uint8_t from = code & 3;
  std::uint32_t t = code >> 10;
  const std::uint32_t called_index = t % 3;
  t /= 3;
  if (from != 3 || t >= 21) return std::nullopt;  // 21 runs: 7 in each suit
  const std::uint32_t lowest = (t / 7) * 9 + t % 7;
  std::array<TileNumber, 3> tiles{};
  for (std::uint32_t i = 0; i < 3; ++i) {
    const std::uint32_t copy = (code >> (3 + 2 * i)) & 3;
    tiles[i] = static_cast<TileNumber>(4 * (lowest + i) + copy);
  }
  Meld meld{MeldKind::Chi, from, tiles[called_index], {}, 2, 0};
  std::uint8_t n = 0;
  for (std::uint32_t i = 0; i < 3; ++i) {
    if (i != called_index) meld.own[n++] = tiles[i];
  }
  return meld;
}

std::optional<Meld> decode_pon_or_kakan(std::uint32_t code, bool kakan) {
  const std::uint8_t from = code & 3;
  const std::uint32_t unused = (code >> 5) & 3;
  std::uint32_t t = code >> 9;
  const std::uint32_t called_index = t % 3;
  const std::uint32_t kind = t / 3;
  if (from == 0 || kind >= kKinds) return std::nullopt;
  std::array<TileNumber, 3> tiles{};
  std::uint8_t n = 0;
  for (std::uint32_t copy = 0; copy < 4; ++copy) {
    if (copy != unused) tiles[n++] = static_cast<TileNumber>(4 * kind + copy);
  }
  Meld meld{kakan ? MeldKind::Kakan : MeldKind::Pon, from, tiles[called_index], {}, 2, tiles[called_index]};
  n = 0;
  for (std::uint32_t i = 0; i < 3; ++i) {
    if (i != called_index) meld.own[n++] = tiles[i];
  }
  if (kakan) meld.called = static_cast<TileNumber>(4 * kind + unused);
  return meld;
}

std::optional<Meld> decode_kan(std::uint32_t code) {
  const std::uint8_t from = code & 3;
  const std::uint32_t tile = code >> 8;
  if (tile >= 4 * kKinds) return std::nullopt;
  const std::uint32_t kind = tile / 4;
  Meld meld{from == 0 ? MeldKind::Ankan : MeldKind::Daiminkan, from, static_cast<TileNumber>(tile), {}, 0, 0};
  for (std::uint32_t copy = 0; copy < 4; ++copy) {
    const auto number = static_cast<TileNumber>(4 * kind + copy);
    if (from == 0 || number != tile) meld.own[meld.own_count++] = number;
  }
  return meld;
}

}  // namespace

std::optional<Meld> decode_meld(std::uint32_t code) {
  if (code > 0xFFFF) return std::nullopt;
  if (code & kChiBit) return decode_chi(code);
  if (code & kPonBit) return decode_pon_or_kakan(code, false);
  if (code & kKakanBit) return decode_pon_or_kakan(code, true);
  if (code & kNukidoraBit) return std::nullopt;
  return decode_kan(code);
}

}  // namespace paifu::mjlog
