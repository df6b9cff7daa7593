#include "paifu/mjai/encode.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "paifu/conv/output.hpp"

namespace paifu::mjai {
namespace {

// Tiles by index: 0 "1m", 4 "5m", 13 "5p", 26 "9s", 27 "E", 33 "C", 34 "5mr", 35 "5pr", 37 "?".
constexpr Tile t(std::uint8_t index) { return Tile{index}; }

std::string encode(const Event& event) {
  std::string out;
  const auto result = encode_event(event, out);
  EXPECT_TRUE(result.has_value());
  return out;
}

HandList sample_hands() {
  HandList hands{};
  for (std::size_t seat = 0; seat < 4; ++seat) {
    for (std::size_t i = 0; i < 13; ++i) hands[seat][i] = t(static_cast<std::uint8_t>(seat * 9 + i % 9));
  }
  hands[3][12] = kHiddenTile;
  return hands;
}

TEST(EncodeEvent, EveryKindWithItsKeysInOrder) {
  struct Case {
    Event event;
    const char* json;
  };
  const Case cases[] = {
      {None{}, R"({"type":"none"})"},
      {StartGame{{"a", "b", "c", "d"}, 0, true},
       R"({"type":"start_game","names":["a","b","c","d"],"kyoku_first":0,"aka_flag":true})"},
      {StartGame{{"", "", "", ""}, 4, false},
       R"({"type":"start_game","names":["","","",""],"kyoku_first":4,"aka_flag":false})"},
      {StartKyoku{t(27), t(37), 255, 0, 3, 2, {25000, -2147483648, 0, 2147483647}, sample_hands()},
       R"({"type":"start_kyoku","bakaze":"E","dora_marker":"?","kyoku":255,"honba":0,"kyotaku":3,"oya":2,)"
       R"("scores":[25000,-2147483648,0,2147483647],"tehais":[)"
       R"(["1m","2m","3m","4m","5m","6m","7m","8m","9m","1m","2m","3m","4m"],)"
       R"(["1p","2p","3p","4p","5p","6p","7p","8p","9p","1p","2p","3p","4p"],)"
       R"(["1s","2s","3s","4s","5s","6s","7s","8s","9s","1s","2s","3s","4s"],)"
       R"(["E","S","W","N","P","F","C","5mr","5pr","E","S","W","?"]]})"},
      {Tsumo{1, t(35)}, R"({"type":"tsumo","actor":1,"pai":"5pr"})"},
      {Dahai{1, t(26), false}, R"({"type":"dahai","actor":1,"pai":"9s","tsumogiri":false})"},
      {Dahai{3, t(37), true}, R"({"type":"dahai","actor":3,"pai":"?","tsumogiri":true})"},
      {Chi{1, 0, t(2), {t(1), t(3)}}, R"({"type":"chi","actor":1,"target":0,"pai":"3m","consumed":["2m","4m"]})"},
      {Pon{2, 0, t(27), {t(27), t(27)}}, R"({"type":"pon","actor":2,"target":0,"pai":"E","consumed":["E","E"]})"},
      {Daiminkan{0, 3, t(36), {t(22), t(22), t(22)}},
       R"({"type":"daiminkan","actor":0,"target":3,"pai":"5sr","consumed":["5s","5s","5s"]})"},
      {Kakan{2, t(34), {t(4), t(4), t(4)}},
       R"({"type":"kakan","actor":2,"pai":"5mr","consumed":["5m","5m","5m"]})"},
      {Ankan{3, {t(33), t(33), t(33), t(33)}}, R"({"type":"ankan","actor":3,"consumed":["C","C","C","C"]})"},
      {Dora{t(30)}, R"({"type":"dora","dora_marker":"N"})"},
      {Reach{0}, R"({"type":"reach","actor":0})"},
      {ReachAccepted{255}, R"({"type":"reach_accepted","actor":255})"},
      {Hora{0, 2, ScoreList{8000, 0, -8000, 0}, std::vector<Tile>{t(19)}},
       R"({"type":"hora","actor":0,"target":2,"deltas":[8000,0,-8000,0],"ura_markers":["2s"]})"},
      {Hora{0, 2, std::nullopt, std::nullopt}, R"({"type":"hora","actor":0,"target":2})"},
      {Hora{1, 1, std::nullopt, std::vector<Tile>{}}, R"({"type":"hora","actor":1,"target":1,"ura_markers":[]})"},
      {Hora{1, 1, ScoreList{}, std::nullopt}, R"({"type":"hora","actor":1,"target":1,"deltas":[0,0,0,0]})"},
      {Ryukyoku{ScoreList{1500, -1500, 1500, -1500}}, R"({"type":"ryukyoku","deltas":[1500,-1500,1500,-1500]})"},
      {Ryukyoku{std::nullopt}, R"({"type":"ryukyoku"})"},
      {EndKyoku{}, R"({"type":"end_kyoku"})"},
      {EndGame{}, R"({"type":"end_game"})"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(encode(c.event), c.json) << type_text(c.event.kind());
  }
}

TEST(EncodeEvent, EscapesNamesByteForByte) {
  struct Case {
    std::string name;
    const char* json;
  };
  const Case cases[] = {
      {"", R"("")"},
      {"A\"B", R"("A\"B")"},
      {"back\\slash", R"("back\\slash")"},
      {"\b\t\n\f\r", R"("\b\t\n\f\r")"},
      {std::string("\0\x01\x0b\x1f", 4), R"("\u0000\u0001\u000b\u001f")"},
      {"a/b\x7f", "\"a/b\x7f\""},
      {"\xe5\x92\x8c\xe4\xba\x86 \xf0\x9f\x80\x84", "\"\xe5\x92\x8c\xe4\xba\x86 \xf0\x9f\x80\x84\""},
      {"\xff\xfe", "\"\xff\xfe\""},  // bytes are copied, not judged
      {"x\x1f" "y\"z", R"("x\u001fy\"z")"},
  };
  for (const Case& c : cases) {
    const std::string expected = std::string(R"({"type":"start_game","names":[)") + c.json + R"(,"b","c","d"],)" +
                                 R"("kyoku_first":0,"aka_flag":false})";
    EXPECT_EQ(encode(StartGame{{c.name, "b", "c", "d"}, 0, false}), expected) << c.json;
  }
}

// The longest text of each kind still fits the room its line is given (sanitizer builds catch an
// overrun), and appends after what the buffer already holds.
TEST(EncodeEvent, LongestTextsOfEachKind) {
  const Tile red{34};
  const ScoreList lowest{INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN};
  HandList reds{};
  for (auto& hand : reds) hand.fill(red);
  const std::string controls(40, '\x01');
  const std::vector<Event> events = {
      StartGame{{controls, controls, controls, controls}, 255, false},
      StartKyoku{red, red, 255, 255, 255, 255, lowest, reds},
      Daiminkan{255, 255, red, {red, red, red}},
      Hora{255, 255, lowest, std::vector<Tile>(20, red)},
      Ryukyoku{lowest},
  };
  const std::size_t lengths[] = {1038, 495, 88, 235, 78};
  for (std::size_t i = 0; i < events.size(); ++i) {
    std::string out = "prefix";
    ASSERT_TRUE(encode_event(events[i], out).has_value()) << i;
    EXPECT_EQ(out.substr(0, 6), "prefix");
    EXPECT_EQ(out.size() - 6, lengths[i]) << out;
  }
}

TEST(EncodeAll, OneLinePerEventOrAllOrNothing) {
  const std::vector<Event> events = {StartGame{{"a", "b", "c", "d"}, 0, false}, EndGame{}};
  const auto lines = mjai::encode_all(events);
  ASSERT_TRUE(lines.has_value());
  EXPECT_EQ(*lines, (std::vector<std::string>{
                        R"({"type":"start_game","names":["a","b","c","d"],"kyoku_first":0,"aka_flag":false})",
                        R"({"type":"end_game"})"}));
  EXPECT_TRUE(mjai::encode_all({}).value().empty());
  // A tile outside the table has no text, wherever it stands.
  EXPECT_FALSE(mjai::encode_all({EndKyoku{}, Tsumo{0, Tile{38}}, EndGame{}}).has_value());
  EXPECT_FALSE(mjai::encode_all({Hora{0, 0, std::nullopt, std::vector<Tile>{t(0), Tile{255}}}}).has_value());
  EXPECT_FALSE(mjai::encode_all({Ankan{0, {t(0), t(0), t(0), Tile{200}}}}).has_value());
}

// The writer's shortcuts (composed tsumo and dahai lines, kinds written without the variant,
// a hora read from a view of its markers) give the lines of the events themselves; an event
// without a text leaves the lines as they were and is the writer's failure.
TEST(LineWriter, ShortcutsMatchTheEventsAndFailuresLeaveNoTrace) {
  const std::vector<Tile> ura = {t(0), t(34)};
  const ScoreList deltas{-8000, 8000, 0, 0};
  const std::vector<Event> events = {Tsumo{3, t(35)},        Dahai{0, t(37), true}, Dahai{2, t(9), false},
                                     Tsumo{200, t(1)},       Dahai{4, t(1), true},  Reach{1},
                                     Hora{1, 0, deltas, ura}};
  Lines lines;
  LineWriter writer(lines);
  writer.tsumo(3, t(35));
  writer.dahai(0, t(37), true);
  writer.emplace_back(Dahai{2, t(9), false});
  writer.tsumo(200, t(1));
  writer.dahai(4, t(1), true);
  writer.emplace_back(Reach{1});
  writer.hora(1, 0, deltas, ura);
  EXPECT_EQ(lines, encode_all(events).value());
  EXPECT_TRUE(writer.status().has_value());

  const std::string before(lines.text());
  writer.tsumo(0, Tile{38});
  writer.hora(1, 0, deltas, std::vector<Tile>{Tile{255}});
  writer.push_back(Event{Ankan{0, {t(0), t(0), t(0), Tile{200}}}});
  EXPECT_EQ(lines.text(), before);
  EXPECT_EQ(lines.size(), events.size());
  ASSERT_FALSE(writer.status().has_value());
  EXPECT_EQ(writer.status().error().stage, Stage::Encode);
}

}  // namespace
}  // namespace paifu::mjai
