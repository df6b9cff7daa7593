// mjlog XML: the six games Tenhou exported in both forms give the JSON's lines byte for byte,
// the odd real records convert, and malformed or impossible documents fail as they should.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "paifu/conv/convert.hpp"
#include "paifu/conv/convert_mjlog.hpp"
#include "paifu/mjlog/game_reader.hpp"
#include "stream_checker.hpp"
#include "test_files.hpp"

namespace paifu {
namespace {

namespace fs = std::filesystem;

const fs::path kMjlogDir = PAIFU_MJLOG_DIR;

expected<conv::Lines, Error> convert_text(std::string text) {
  GzipCodec codec;
  std::string scratch;
  return conv::convert_mjlog_bytes(text, codec, scratch);
}

std::vector<fs::path> files_in(const fs::path& dir, const std::string& extension) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() == extension) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(Mjlog, EachPairGivesTheLinesOfItsJson) {
  const auto pairs = files_in(kMjlogDir / "pairs", ".xml");
  ASSERT_EQ(pairs.size(), 6u);
  for (const fs::path& xml : pairs) {
    auto from_xml = conv::convert_mjlog_file(xml.string(), std::nullopt);
    auto from_json = conv::convert_log_file(fs::path(xml).replace_extension(".json").string(), std::nullopt);
    ASSERT_TRUE(from_xml && from_json) << xml;
    EXPECT_EQ(*from_xml, *from_json) << xml;
  }
}

TEST(Mjlog, EveryFourPlayerEdgeRecordConvertsIntoASoundStream) {
  const auto records = files_in(kMjlogDir / "edge", ".xml");
  ASSERT_EQ(records.size(), 19u);
  for (const fs::path& xml : records) {
    auto lines = conv::convert_mjlog_file(xml.string(), std::nullopt);
    if (xml.filename() == "sanma2.xml") {
      ASSERT_FALSE(lines);
      EXPECT_EQ(lines.error().stage, Stage::Prepare);
      continue;
    }
    ASSERT_TRUE(lines) << xml << ": " << lines.error().detail;
    EXPECT_EQ(testing::check_mjai_stream(lines->strings()), "") << xml;
  }
}

// A short game: seat 0 holds tiles 0-12, seat 1 13-25, seat 2 26-38, seat 3 39-51; the dora
// indicator is 52. PLAY stands for the elements of the one kyoku.
constexpr std::string_view kGame =
    R"(<mjloggm ver="2.3"><GO type="169" lobby="0"/>)"
    R"(<UN n0="%41" n1="b" n2="%E3%81%82" n3="d" dan="0,0,0,0"/><TAIKYOKU oya="0"/>)"
    R"(<INIT seed="0,0,0,1,2,52" ten="250,250,250,250" oya="0" hai0="0,1,2,3,4,5,6,7,8,9,10,11,12")"
    R"( hai1="13,14,15,16,17,18,19,20,21,22,23,24,25" hai2="26,27,28,29,30,31,32,33,34,35,36,37,38")"
    R"( hai3="39,40,41,42,43,44,45,46,47,48,49,50,51"/>PLAY)"
    R"(<RYUUKYOKU ba="0,0" sc="250,0,250,0,250,0,250,0" owari="250,0.0,250,0.0,250,0.0,250,0.0"/></mjloggm>)";
constexpr std::string_view kRound = "<T60/><D60/><U61/><E13/><V62/><F62/><W63/><G39/>";

std::string game(std::string_view play, std::string_view from = "PLAY", std::string_view to = "") {
  std::string text(kGame);
  text.replace(text.find("PLAY"), 4, play);
  if (from != "PLAY") text.replace(text.find(from), from.size(), to);
  return text;
}

TEST(Mjlog, TheElementsBecomeEventsInTheirOrder) {
  const auto lines = convert_text(game(std::string(kRound) + R"(<T64/><REACH who="0" step="1"/><D64/>)"
                                                             R"(<REACH who="0" step="2" ten="240,250,250,250"/>)"));
  ASSERT_TRUE(lines) << lines.error().detail;
  const std::vector<std::string> expected = {
      R"({"type":"start_game","names":["A","b","あ","d"],"kyoku_first":0,"aka_flag":true})",
      R"({"type":"start_kyoku","bakaze":"E","dora_marker":"5pr","kyoku":1,"honba":0,"kyotaku":0,"oya":0,)"
      R"("scores":[25000,25000,25000,25000],"tehais":[["1m","1m","1m","1m","2m","2m","2m","2m","3m","3m","3m",)"
      R"("3m","4m"],["4m","4m","4m","5m","5m","5m","5mr","6m","6m","6m","6m","7m","7m"],["7m","7m","8m","8m","8m",)"
      R"("8m","9m","9m","9m","9m","1p","1p","1p"],["1p","2p","2p","2p","2p","3p","3p","3p","3p","4p","4p","4p","4p"]]})",
      R"({"type":"tsumo","actor":0,"pai":"7p"})",
      R"({"type":"dahai","actor":0,"pai":"7p","tsumogiri":true})",
      R"({"type":"tsumo","actor":1,"pai":"7p"})",
      R"({"type":"dahai","actor":1,"pai":"4m","tsumogiri":false})",
      R"({"type":"tsumo","actor":2,"pai":"7p"})",
      R"({"type":"dahai","actor":2,"pai":"7p","tsumogiri":true})",
      R"({"type":"tsumo","actor":3,"pai":"7p"})",
      R"({"type":"dahai","actor":3,"pai":"1p","tsumogiri":false})",
      R"({"type":"tsumo","actor":0,"pai":"8p"})",
      R"({"type":"reach","actor":0})",
      R"({"type":"dahai","actor":0,"pai":"8p","tsumogiri":true})",
      // A reach on the last discard before an exhaustive draw is still accepted.
      R"({"type":"reach_accepted","actor":0})",
      R"({"type":"ryukyoku","deltas":[0,0,0,0]})",
      R"({"type":"end_kyoku"})",
      R"({"type":"end_game"})",
  };
  EXPECT_EQ(*lines, expected);
  // Players named only after the first kyoku began: start_game still comes first.
  const std::string text = game(std::string(kRound) + R"(<T64/><REACH who="0" step="1"/><D64/>)"
                                                       R"(<REACH who="0" step="2" ten="240,250,250,250"/>)");
  const std::size_t un = text.find("<UN "), un_end = text.find("/>", un) + 2;
  std::string late = text;
  late.erase(un, un_end - un);
  late.insert(late.find("<T60/>"), text.substr(un, un_end - un));
  EXPECT_EQ(convert_text(late), expected);
}

// Stage::Parse and Stage::Replay carry the reader's kinds; Prepare is the three-player game.
struct Case {
  const char* name;
  std::string text;
  Stage stage;  // Stage::Encode stands for success
  int number = 0;
};

int kind(mjlog::ParseFault fault) { return static_cast<int>(fault); }
int kind(mjlog::PlayFault fault) { return static_cast<int>(fault); }

std::string deep_nesting(std::size_t depth) {
  std::string text;
  text.reserve(7 * depth);
  for (std::size_t i = 0; i < depth; ++i) text += "<x>";
  for (std::size_t i = 0; i < depth; ++i) text += "</x>";
  return text;
}

TEST(Mjlog, MalformedAndImpossibleDocumentsFailAtTheirStage) {
  using mjlog::ParseFault;
  using mjlog::PlayFault;
  const std::string round(kRound);
  const std::string real = testing::read_file(kMjlogDir / "pairs" / "2019021004gm-00a9-0000-e2f6516d.xml");
  const std::vector<Case> cases = {
      {"accepted", game(round), Stage::Encode},
      {"unknown elements, attributes, comments and references", "<?xml version='1.0' encoding='utf-8'?><!-- c -->" +
           game(round + "<FOO a='&lt;&#x41;&#65;'><![CDATA[<]]></FOO><?pi x?>", "<TAIKYOKU", "<TAIKYOKU x='1' "),
       Stage::Encode},
      {"a million nested unknown elements", game(deep_nesting(1'000'000) + round), Stage::Encode},
      {"truncated in a tag", real.substr(0, 200), Stage::Parse, kind(ParseFault::NotXml)},
      {"truncated between elements", real.substr(0, real.find("<T", 3000)), Stage::Parse, kind(ParseFault::NotXml)},
      {"without its end tag", real.substr(0, real.size() - 10), Stage::Parse, kind(ParseFault::NotXml)},
      {"a DOCTYPE with an entity", R"(<!DOCTYPE mjloggm [<!ENTITY n "x">]>)" + game(round, "n1=\"b\"", "n1=\"&n;\""),
       Stage::Parse, kind(ParseFault::NotXml)},
      {"an undeclared entity", game(round, "n1=\"b\"", "n1=\"&n;\""), Stage::Parse, kind(ParseFault::NotXml)},
      {"< in an attribute", game(round, "n1=\"b\"", "n1=\"<\""), Stage::Parse, kind(ParseFault::NotXml)},
      {"an attribute twice", game(round, "n1=\"b\"", "n1=\"b\" n1=\"c\""), Stage::Parse, kind(ParseFault::NotXml)},
      {"an attribute twice beside a comment", game(round + "<!---->", "n1=\"b\"", "n1=\"b\" n1=\"c\""), Stage::Parse,
       kind(ParseFault::NotXml)},
      {"an attribute twice, nested", game("<x><y><z a='1' a='1'/></y></x>" + round), Stage::Parse,
       kind(ParseFault::NotXml)},
      {"< in an attribute beside a reference", game(round, "n1=\"b\"", "n1=\"&amp;<\""), Stage::Parse,
       kind(ParseFault::NotXml)},
      {"text after the root", game(round) + "x", Stage::Parse, kind(ParseFault::NotXml)},
      {"text after the root and a comment", game(round) + "<!---->x", Stage::Parse, kind(ParseFault::NotXml)},
      {"a second root", game(round) + "<mjloggm/>", Stage::Parse, kind(ParseFault::NotXml)},
      {"a tile tag with an attribute", game("<T12 a=\"1\" a=\"2\"/>" + round), Stage::Parse, kind(ParseFault::NotXml)},
      {"not UTF-8", game(round, "n1=\"b\"", "n1=\"\xff\""), Stage::Parse, kind(ParseFault::NotXml)},
      {"a control character", game(round, "n1=\"b\"", "n1=\"\x01\""), Stage::Parse, kind(ParseFault::NotXml)},
      {"a character reference to NUL", game(round, "n1=\"b\"", "n1=\"&#0;\""), Stage::Parse, kind(ParseFault::NotXml)},
      {"another root", "<mjlog/>", Stage::Parse, kind(ParseFault::NotMjlog)},
      {"a missing attribute", game(round, " ten=\"250,250,250,250\"", ""), Stage::Parse,
       kind(ParseFault::MissingAttribute)},
      {"no GO", game(round, "<GO type=\"169\" lobby=\"0\"/>", ""), Stage::Parse, kind(ParseFault::MissingAttribute)},
      {"a malformed score", game(round, "ten=\"250,", "ten=\"+250,"), Stage::Parse, kind(ParseFault::BadAttribute)},
      {"a name that is not UTF-8", game(round, "%41", "%FF"), Stage::Parse, kind(ParseFault::BadAttribute)},
      {"twelve tiles dealt", game(round, ",12\"", "\""), Stage::Parse, kind(ParseFault::BadAttribute)},
      {"a tile 136 drawn", game("<T136/>"), Stage::Parse, kind(ParseFault::BadTile)},
      {"a tile 136 dealt", game(round, ",12\"", ",136\""), Stage::Parse, kind(ParseFault::BadTile)},
      {"a seat 4", game(R"(<T60/><REACH who="4" step="1"/>)"), Stage::Parse, kind(ParseFault::BadSeat)},
      {"a nukidora", game(R"(<T60/><D60/><N who="1" m="32"/>)"), Stage::Parse, kind(ParseFault::BadMeld)},
      {"a chi of honours", game(R"(<T60/><D60/><N who="1" m="64519"/>)"), Stage::Parse, kind(ParseFault::BadMeld)},
      {"three players", game(round, "type=\"169\"", "type=\"185\""), Stage::Prepare},
      {"no owari", game(round, " owari=", " end="), Stage::Replay, kind(PlayFault::Incomplete)},
      {"a kyoku without a result", game(round + "<INIT/>"), Stage::Replay, kind(PlayFault::Incomplete)},
      {"a draw out of turn", game("<U60/>"), Stage::Replay, kind(PlayFault::OutOfTurn)},
      {"a draw after the result", game(round, "</mjloggm>", "<T64/></mjloggm>"), Stage::Replay,
       kind(PlayFault::OutOfTurn)},
      {"a call of a tile nobody discarded", game(R"(<T60/><D60/><N who="1" m="23659"/>)"), Stage::Replay,
       kind(PlayFault::UnexpectedCall)},
      {"a pon without its tiles", game(R"(<T60/><D60/><N who="1" m="23147"/>)"), Stage::Replay,
       kind(PlayFault::NotInHand)},
      {"a discard not in the hand", game("<T60/><D61/>"), Stage::Replay, kind(PlayFault::NotInHand)},
      {"a tile drawn twice", game("<T60/><D60/><U60/>"), Stage::Replay, kind(PlayFault::TileSeenTwice)},
      {"a DORA without a kan", game(R"(<T60/><DORA hai="70"/>)"), Stage::Replay, kind(PlayFault::DoraWithoutKan)},
  };
  for (const Case& c : cases) {
    const auto lines = convert_text(c.text);
    if (c.stage == Stage::Encode) {
      EXPECT_TRUE(lines) << c.name << ": " << lines.error().detail;
      continue;
    }
    ASSERT_FALSE(lines) << c.name;
    EXPECT_EQ(lines.error().stage, c.stage) << c.name << ": " << lines.error().detail;
    if (c.stage != Stage::Prepare) {
      EXPECT_EQ(lines.error().number, c.number) << c.name << ": " << lines.error().detail;
    }
  }
}

}  // namespace
}  // namespace paifu
