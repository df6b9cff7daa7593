// The prepared game: what the game frame and the kyoku converter read.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>
#include "paifu/base/error.hpp"
#include "paifu/base/expected.hpp"

#include "paifu/tenhou/raw_log.hpp"

namespace paifu::conv {

struct HoraEntry {
  tenhou::Scores deltas{};
  std::uint8_t actor = 0;
  std::uint8_t target = 0;
};

struct Win {
  std::pmr::vector<HoraEntry> entries;
};
struct NoWin {
  tenhou::Scores deltas{};
};
using KyokuOutcome = std::variant<Win, NoWin>;

// A kyoku record with its result list reduced to an outcome.
struct PreparedKyoku {
  tenhou::RecordMemory memory;  // what its lists take their room from; first, so that it goes last
  tenhou::KyokuHeader header;
  tenhou::Scores scores{};
  tenhou::TileList dora_indicators;
  tenhou::TileList ura_indicators;
  std::array<tenhou::Hand, 4> start_hands{};
  tenhou::ActionLists lists;
  KyokuOutcome outcome;
};

struct GameLog {
  std::array<std::string, 4> names;
  std::uint8_t kyoku_first = 0;
  bool aka_flag = false;
  std::vector<PreparedKyoku> kyokus;
};

// Refuses (at stage Prepare) three-player games and wins without their seats; derives kyoku_first and aka_flag, and
// reduces each result list.
expected<GameLog, Error> prepare_game_log(tenhou::RawLog&& raw);

}  // namespace paifu::conv
