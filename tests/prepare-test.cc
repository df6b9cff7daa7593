#include <gtest/gtest.h>

#include "paifu/conv/kyoku.hpp"
#include "paifu/conv/game_log.hpp"

namespace paifu::conv {
namespace {

using tenhou::Deltas;
using tenhou::Details;
using tenhou::JsonValue;
using tenhou::Label;
using tenhou::RawLog;
using tenhou::ResultItem;

const char* const kWin = "\xE5\x92\x8C\xE4\xBA\x86";  // 和了

RawLog log_with_disp(std::string disp) {
  RawLog raw;
  raw.name = {"a", "b", "c", "d"};
  raw.rule.disp = std::move(disp);
  return raw;
}

RawLog log_with_results(std::vector<ResultItem> results) {
  RawLog raw = log_with_disp("");
  raw.log.emplace_back();
  raw.log.back().results.assign(std::make_move_iterator(results.begin()), std::make_move_iterator(results.end()));
  return raw;
}

Details details(std::vector<JsonValue> elements) {
  Details out;
  for (JsonValue& element : elements) out.append(std::move(element));
  return out;
}
JsonValue num(std::uint64_t v) { return JsonValue{v}; }

TEST(PrepareRule, ThreePlayerTextsAndKyokuFirst) {
  struct Case {
    std::string disp;
    bool refused;
    int kyoku_first;
  };
  const Case cases[] = {
      {"", false, 0},
      {"\xE9\xB3\xB3\xE5\x8D\x97\xE5\x96\xB0\xE8\xB5\xA4", false, 0},  // 鳳南喰赤
      {"\xE8\x88\xAC\xE6\x9D\xB1\xE5\x96\xB0\xE8\xB5\xA4", false, 4},  // 般東喰赤
      {"\xE4\xB8\x89\xE9\xB3\xB3\xE5\x8D\x97", true, 0},                // 三鳳南
      {"\xE6\x9D\xB1\xE4\xB8\x89", true, 0},                            // 東 and 三: refused first
      {"3-Player East", true, 0},
      {"3-player", false, 0},
      {"Tonpuu East", false, 4},
      {"EAST", false, 0},
      {"east", false, 0},
      {"Northeastern", false, 0},
      {"NorthEastern", false, 4},
  };
  for (const Case& c : cases) {
    auto game = prepare_game_log(log_with_disp(c.disp));
    EXPECT_EQ(!game.has_value(), c.refused) << c.disp;
    if (game) {
      EXPECT_EQ(game->kyoku_first, c.kyoku_first) << c.disp;
    }
  }
}

TEST(PrepareRule, AkaFlagFromAnyRedFiveCount) {
  struct Case {
    std::uint8_t aka, aka51, aka52, aka53;
    bool flag;
  };
  const Case cases[] = {{0, 0, 0, 0, false}, {0, 1, 1, 1, true}, {1, 0, 0, 0, true}, {255, 1, 0, 0, true},
                        {0, 0, 0, 255, true}, {255, 255, 255, 255, true}};
  for (const Case& c : cases) {
    RawLog raw = log_with_disp("");
    raw.rule.aka = c.aka;
    raw.rule.aka51 = c.aka51;
    raw.rule.aka52 = c.aka52;
    raw.rule.aka53 = c.aka53;
    EXPECT_EQ(prepare_game_log(std::move(raw))->aka_flag, c.flag) << int(c.aka) << int(c.aka51);
  }
}

TEST(PrepareRule, NamesAndEmptyLog) {
  auto game = prepare_game_log(log_with_disp(""));
  ASSERT_TRUE(game);
  EXPECT_EQ(game->names, (std::array<std::string, 4>{"a", "b", "c", "d"}));
  EXPECT_TRUE(game->kyokus.empty());
}

TEST(PrepareOutcome, WinPairs) {
  const Deltas d1{{8000, 0, -8000, 0}};
  const Deltas d2{{0, 1000, 0, -1000}};
  struct Case {
    const char* name;
    std::vector<ResultItem> results;
    std::vector<HoraEntry> entries;
  };
  const std::vector<Case> cases = {
      {"label only", {Label{kWin}}, {}},
      {"one pair and a stray item", {Label{kWin}, d1, details({num(2), num(0), num(2)}), d2},
       {{d1.values, 2, 0}}},
      {"two pairs", {Label{kWin}, d1, details({num(2), num(0)}), d2, details({num(1), num(3)})},
       {{d1.values, 2, 0}, {d2.values, 1, 3}}},
      {"pair in the wrong order", {Label{kWin}, details({num(2), num(0)}), d1}, {}},
      {"four-integer details read as deltas", {Label{kWin}, d1, d2}, {}},
      {"negative and float seats", {Label{kWin}, d1, details({JsonValue{std::int64_t{-1}}, JsonValue{2.5}})},
       {{d1.values, 0, 0}}},
      {"seats taken modulo 256", {Label{kWin}, d1, details({num(257), num(3)})}, {{d1.values, 1, 3}}},
  };
  for (const Case& c : cases) {
    auto game = prepare_game_log(log_with_results(c.results));
    ASSERT_TRUE(game) << c.name;
    const auto* win = std::get_if<Win>(&game->kyokus.at(0).outcome);
    ASSERT_NE(win, nullptr) << c.name;
    ASSERT_EQ(win->entries.size(), c.entries.size()) << c.name;
    for (std::size_t i = 0; i < c.entries.size(); ++i) {
      EXPECT_EQ(win->entries[i].deltas, c.entries[i].deltas) << c.name;
      EXPECT_EQ(win->entries[i].actor, c.entries[i].actor) << c.name;
      EXPECT_EQ(win->entries[i].target, c.entries[i].target) << c.name;
    }
  }
}

TEST(PrepareOutcome, MalformedWinDetailsAreAnInvalidLog) {
  const Deltas d{{8000, 0, -8000, 0}};
  const std::vector<std::vector<ResultItem>> cases = {
      {Label{kWin}, d, details({num(1)})},
      {Label{kWin}, d, details({})},
      {Label{kWin}, d, details({JsonValue{std::string("0")}, num(1)})},
      {Label{kWin}, d, details({num(0), JsonValue{nullptr}})},
      {Label{kWin}, d, details({num(0), num(1)}), d, details({JsonValue{true}, num(1)})},
  };
  for (const auto& results : cases) EXPECT_FALSE(prepare_game_log(log_with_results(results)));
}

TEST(PrepareOutcome, NoWinDeltas) {
  const Deltas d{{1500, -1500, 1500, -1500}};
  const tenhou::Scores zeros{};
  struct Case {
    std::vector<ResultItem> results;
    tenhou::Scores deltas;
  };
  const std::vector<Case> cases = {
      {{}, zeros},
      {{Label{"\xE6\xB5\x81\xE5\xB1\x80"}, d}, d.values},  // 流局
      {{Label{"anything"}, d, details({})}, d.values},
      {{Label{"anything"}}, zeros},
      {{d, d}, zeros},
      {{Label{"x"}, details({num(1)})}, zeros},
      {{Label{"\xE5\x92\x8C"}, d}, d.values},  // only part of the win label
  };
  for (const Case& c : cases) {
    auto game = prepare_game_log(log_with_results(c.results));
    ASSERT_TRUE(game);
    const auto* no_win = std::get_if<NoWin>(&game->kyokus.at(0).outcome);
    ASSERT_NE(no_win, nullptr);
    EXPECT_EQ(no_win->deltas, c.deltas);
  }
}

TEST(PrepareOutcome, LaterMalformedKyokuFailsTheWholeGame) {
  RawLog raw = log_with_results({Label{"x"}});
  raw.log.emplace_back();
  raw.log.back().results = {Label{kWin}, Deltas{}, details({num(0)})};
  EXPECT_FALSE(prepare_game_log(std::move(raw)));
}

TEST(GameFrame, EmptyGameIsStartAndEnd) {
  auto game = prepare_game_log(log_with_disp("\xE6\x9D\xB1"));
  ASSERT_TRUE(game);
  auto events = run_game_frame(std::move(*game));
  ASSERT_TRUE(events);
  ASSERT_EQ(events->size(), 2u);
  EXPECT_EQ(events->at(0), mjai::Event(mjai::StartGame{{"a", "b", "c", "d"}, 4, false}));
  EXPECT_EQ(events->at(1).kind(), mjai::EventKind::EndGame);
}

}  // namespace
}  // namespace paifu::conv
