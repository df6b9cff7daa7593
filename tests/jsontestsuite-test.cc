// Every file of the JSON parsing test suite, placed as a value under a key the reader skips:
// y_ files must be accepted, n_ files refused, i_ files merely survived.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "paifu/tenhou/raw_log.hpp"

namespace paifu::tenhou {
namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Whether `s` is well-formed UTF-8 (no overlongs, no surrogates, nothing above U+10FFFF).
bool is_utf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      n = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      n = 2;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      n = 3;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    for (std::size_t k = 1; k <= n; ++k) {
      if (i + k >= s.size()) return false;
      const auto b = static_cast<unsigned char>(s[i + k]);
      if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) return false;
    }
    i += n + 1;
  }
  return true;
}

TEST(JsonTestSuite, SkippedValuesAreAcceptedExactlyWhenWellFormed) {
  const fs::path dir = PAIFU_JSONTESTSUITE_DIR;
  if (!fs::is_directory(dir)) GTEST_SKIP() << "no test suite at " << dir;
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir)) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty());

  int checked = 0;
  for (const fs::path& path : files) {
    const std::string name = path.filename().string();
    const std::string contents = read_file(path);
    const std::string text = R"({"log":[],"name":["","","",""],"rule":{},"zz":)" + contents + "}";
    const auto parsed = parse_raw_log(text);  // must return, whatever the file holds
    if (name.starts_with("y_")) {
      EXPECT_TRUE(parsed.has_value()) << name << ": " << parsed.error().description;
      ++checked;
    } else if (name.starts_with("n_") && is_utf8(text)) {
      // Files that are not UTF-8 are refused by the caller before parsing.
      EXPECT_FALSE(parsed.has_value()) << name;
      ++checked;
    }
  }
  EXPECT_GT(checked, 250);
}

}  // namespace
}  // namespace paifu::tenhou
