// Real logs give exactly the lines recorded for them: the bundled samples against their stored
// mjai files, the shared corpus (never copied here) against the size and CRC-32 of its lines.
#include <gtest/gtest.h>
#include <libdeflate.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "paifu/conv/convert.hpp"
#include "test_files.hpp"

namespace paifu {
namespace {

namespace fs = std::filesystem;

std::string converted(const fs::path& log) {
  auto lines = conv::convert_log_text(testing::read_file(log));
  if (!lines) return "failed: " + lines.error().detail;
  std::string text;
  text += lines->text();
  return text;
}

TEST(Golden, BundledSamplesGiveTheirRecordedLines) {
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(PAIFU_SAMPLES_DIR)) {
    if (entry.path().extension() != ".json") continue;
    const fs::path golden = fs::path(PAIFU_GOLDEN_DIR) / entry.path().filename().replace_extension(".mjson");
    EXPECT_TRUE(converted(entry.path()) == testing::read_file(golden)) << entry.path();
    ++compared;
  }
  EXPECT_EQ(compared, 17);
}

TEST(Golden, SharedCorpusGivesItsRecordedDigests) {
  if (!fs::is_directory(PAIFU_SHARED_CORPUS_DIR)) GTEST_SKIP() << "no shared corpus here";
  std::ifstream digests(fs::path(PAIFU_GOLDEN_DIR) / "shared-corpus.digests");
  std::string name;
  std::size_t size = 0;
  std::string crc;
  digests.ignore(1 << 10, '\n');  // the heading
  while (digests >> name >> size >> crc) {
    const fs::path log = fs::path(PAIFU_SHARED_CORPUS_DIR) / name;
    if (!fs::exists(log)) continue;
    const std::string text = converted(log);
    char actual[9];
    std::snprintf(actual, sizeof actual, "%08x", libdeflate_crc32(0, text.data(), text.size()));
    EXPECT_EQ(text.size(), size) << name;
    EXPECT_EQ(actual, crc) << name;
  }
}

}  // namespace
}  // namespace paifu
