// Every real log converts, and its stream passes the replay checker.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "paifu/conv/convert.hpp"
#include "stream_checker.hpp"
#include "test_files.hpp"

namespace paifu {
namespace {

namespace fs = std::filesystem;

using testing::read_file;

TEST(Corpus, EveryLogConvertsToASoundStream) {
  const auto logs = testing::real_logs();
  ASSERT_GE(logs.size(), 17u);
  for (const auto& path : logs) {
    auto lines = conv::convert_log_text(read_file(path));
    ASSERT_TRUE(lines) << path << ": " << lines.error().detail;
    EXPECT_EQ(testing::check_mjai_stream(lines->strings()), "") << path;
  }
}

TEST(Corpus, FileAndTextConversionsAgree) {
  const fs::path path = fs::path(PAIFU_SAMPLES_DIR) / "real_006.json";
  auto from_file = conv::convert_log_file(path.string(), std::nullopt);
  ASSERT_TRUE(from_file);
  EXPECT_EQ(*from_file, *conv::convert_log_text(read_file(path)));
}

// The checker itself must catch the faults it exists for.
TEST(StreamChecker, RefusesBrokenStreams) {
  const std::string start_game = R"({"type":"start_game","names":["a","b","c","d"],"kyoku_first":0,"aka_flag":false})";
  const std::string hand = R"(["1m","2m","3m","4m","5m","6m","7m","8m","9m","1p","2p","3p","4p"])";
  const std::string start_kyoku = R"({"type":"start_kyoku","bakaze":"E","dora_marker":"1s","kyoku":1,"honba":0,"kyotaku":0,"oya":0,"scores":[25000,25000,25000,25000],"tehais":[)" +
                                  hand + "," + hand + "," + hand + "," + hand + "]}";
  const std::string end = R"({"type":"end_kyoku"})";
  const std::string end_game = R"({"type":"end_game"})";
  struct Case {
    const char* name;
    std::vector<std::string> play;
    bool sound;
  };
  const std::vector<Case> cases = {
      {"draw and discard", {R"({"type":"tsumo","actor":0,"pai":"E"})", R"({"type":"dahai","actor":0,"pai":"E","tsumogiri":true})"}, true},
      {"discard not in hand", {R"({"type":"tsumo","actor":0,"pai":"E"})", R"({"type":"dahai","actor":0,"pai":"S","tsumogiri":false})"}, false},
      {"false tsumogiri", {R"({"type":"tsumo","actor":0,"pai":"E"})", R"({"type":"dahai","actor":0,"pai":"1m","tsumogiri":true})"}, false},
      {"pon of another tile", {R"({"type":"tsumo","actor":0,"pai":"E"})", R"({"type":"dahai","actor":0,"pai":"E","tsumogiri":true})", R"({"type":"pon","actor":1,"target":0,"pai":"1m","consumed":["1m","1m"]})"}, false},
      {"pon without the tiles", {R"({"type":"tsumo","actor":0,"pai":"E"})", R"({"type":"dahai","actor":0,"pai":"E","tsumogiri":true})", R"({"type":"pon","actor":1,"target":0,"pai":"E","consumed":["E","E"]})"}, false},
      {"chi of own discard", {R"({"type":"tsumo","actor":0,"pai":"1m"})", R"({"type":"dahai","actor":0,"pai":"1m","tsumogiri":true})", R"({"type":"chi","actor":0,"target":0,"pai":"1m","consumed":["2m","3m"]})"}, false},
      {"kakan without pon", {R"({"type":"tsumo","actor":0,"pai":"1m"})", R"({"type":"kakan","actor":0,"pai":"1m","consumed":["1m","1m","1m"]})"}, false},
      {"reach without discard", {R"({"type":"tsumo","actor":0,"pai":"E"})", R"({"type":"reach","actor":0})", R"({"type":"tsumo","actor":1,"pai":"E"})"}, false},
      {"reach accepted for another seat", {R"({"type":"tsumo","actor":0,"pai":"E"})", R"({"type":"reach","actor":0})", R"({"type":"dahai","actor":0,"pai":"E","tsumogiri":true})", R"({"type":"reach_accepted","actor":1})"}, false},
  };
  for (const Case& c : cases) {
    std::vector<std::string> lines = {start_game, start_kyoku};
    lines.insert(lines.end(), c.play.begin(), c.play.end());
    lines.push_back(end);
    lines.push_back(end_game);
    EXPECT_EQ(testing::check_mjai_stream(lines).empty(), c.sound) << c.name;
  }
  EXPECT_FALSE(testing::check_mjai_stream({start_game, start_kyoku, end_game}).empty());
  EXPECT_FALSE(testing::check_mjai_stream({start_kyoku, end, end_game}).empty());
}

// The command-line driver prints the same lines, and a failure as "ClassName: message".
std::pair<int, std::string> run(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  return {pclose(pipe), out};
}

TEST(Command, PrintsOneLogsLinesOrItsFailure) {
  const fs::path path = fs::path(PAIFU_SAMPLES_DIR) / "real_001.json";
  auto lines = conv::convert_log_text(read_file(path));
  ASSERT_TRUE(lines);
  std::string expected;
  expected += lines->text();
  EXPECT_EQ(run(std::string(PAIFU_EXE) + " " + path.string()), std::make_pair(0, expected));

  const fs::path missing = fs::temp_directory_path() / "paifu-no-such-log.json";
  auto [status, err] = run(std::string(PAIFU_EXE) + " " + missing.string() + " 2>&1");
  EXPECT_NE(status, 0);
  EXPECT_EQ(err, "FileNotFoundError: failed to open tenhou.net/6 log file \"" + missing.string() + "\"\n");
}

}  // namespace
}  // namespace paifu
