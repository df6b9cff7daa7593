// The mjai event model: a closed variant over seventeen kinds in a fixed order.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "paifu/base/tile.hpp"

namespace paifu::mjai {

using Seat = std::uint8_t;
using ScoreList = std::array<std::int32_t, 4>;
// Exactly four names, seat 0 first. Held out of line: four strings inline would make every
// event of a game twice as large, and events are copied and moved on every turn.
using NameList = std::vector<std::string>;
using HandList = std::array<std::array<Tile, 13>, 4>;

struct None {
  friend bool operator==(const None&, const None&) = default;
};
struct StartGame {
  NameList names;
  std::uint8_t kyoku_first = 0;
  bool aka_flag = false;
  friend bool operator==(const StartGame&, const StartGame&) = default;
};
struct StartKyoku {
  Tile bakaze;
  Tile dora_marker;
  std::uint8_t kyoku = 0;
  std::uint8_t honba = 0;
  std::uint8_t kyotaku = 0;
  Seat oya = 0;
  ScoreList scores{};
  HandList tehais{};
  friend bool operator==(const StartKyoku&, const StartKyoku&) = default;
};
struct Tsumo {
  Seat actor = 0;
  Tile pai;
  friend bool operator==(const Tsumo&, const Tsumo&) = default;
};
struct Dahai {
  Seat actor = 0;
  Tile pai;
  bool tsumogiri = false;
  friend bool operator==(const Dahai&, const Dahai&) = default;
};
struct Chi {
  Seat actor = 0;
  Seat target = 0;
  Tile pai;
  std::array<Tile, 2> consumed{};
  friend bool operator==(const Chi&, const Chi&) = default;
};
struct Pon {
  Seat actor = 0;
  Seat target = 0;
  Tile pai;
  std::array<Tile, 2> consumed{};
  friend bool operator==(const Pon&, const Pon&) = default;
};
struct Daiminkan {
  Seat actor = 0;
  Seat target = 0;
  Tile pai;
  std::array<Tile, 3> consumed{};
  friend bool operator==(const Daiminkan&, const Daiminkan&) = default;
};
struct Kakan {
  Seat actor = 0;
  Tile pai;
  std::array<Tile, 3> consumed{};
  friend bool operator==(const Kakan&, const Kakan&) = default;
};
struct Ankan {
  Seat actor = 0;
  std::array<Tile, 4> consumed{};
  friend bool operator==(const Ankan&, const Ankan&) = default;
};
struct Dora {
  Tile dora_marker;
  friend bool operator==(const Dora&, const Dora&) = default;
};
struct Reach {
  Seat actor = 0;
  friend bool operator==(const Reach&, const Reach&) = default;
};
struct ReachAccepted {
  Seat actor = 0;
  friend bool operator==(const ReachAccepted&, const ReachAccepted&) = default;
};
struct Hora {
  Seat actor = 0;
  Seat target = 0;
  std::optional<ScoreList> deltas;
  std::optional<std::vector<Tile>> ura_markers;
  friend bool operator==(const Hora&, const Hora&) = default;
};
struct Ryukyoku {
  std::optional<ScoreList> deltas;
  friend bool operator==(const Ryukyoku&, const Ryukyoku&) = default;
};
struct EndKyoku {
  friend bool operator==(const EndKyoku&, const EndKyoku&) = default;
};
struct EndGame {
  friend bool operator==(const EndGame&, const EndGame&) = default;
};

// The kinds, numbered by their position in the variant.
enum class EventKind : std::uint8_t {
  None,
  StartGame,
  StartKyoku,
  Tsumo,
  Dahai,
  Chi,
  Pon,
  Daiminkan,
  Kakan,
  Ankan,
  Dora,
  Reach,
  ReachAccepted,
  Hora,
  Ryukyoku,
  EndKyoku,
  EndGame,
};

using EventVariant = std::variant<None, StartGame, StartKyoku, Tsumo, Dahai, Chi, Pon, Daiminkan, Kakan, Ankan,
                                  Dora, Reach, ReachAccepted, Hora, Ryukyoku, EndKyoku, EndGame>;

struct Event {
  EventVariant value;

  template <typename Kind>
  Event(Kind kind) : value(std::move(kind)) {}  // NOLINT: events are built from their kinds implicitly

  EventKind kind() const { return static_cast<EventKind>(value.index()); }
  template <typename Kind>
  const Kind* get_if() const {
    return std::get_if<Kind>(&value);
  }
  template <typename Kind>
  Kind* get_if() {
    return std::get_if<Kind>(&value);
  }
  friend bool operator==(const Event&, const Event&) = default;
};

// The "type" text of a kind.
std::string_view type_text(EventKind kind);


}  // namespace paifu::mjai
