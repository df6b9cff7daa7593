// Every file of the JSON parsing test suite, placed as a value under a key the reader skips:
// y_ files must be accepted, n_ files refused, i_ files merely survived.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_files.hpp"
#include "paifu/base/utf8.hpp"
#include "paifu/tenhou/raw_log.hpp"

namespace paifu::tenhou {
namespace {

namespace fs = std::filesystem;

using testing::read_file;

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
      EXPECT_TRUE(parsed.has_value()) << name << ": " << parsed.error().detail;
      ++checked;
    } else if (name.starts_with("n_") && utf8::is_valid(text)) {
      // Files that are not UTF-8 are refused by the caller before parsing.
      EXPECT_FALSE(parsed.has_value()) << name;
      ++checked;
    }
  }
  EXPECT_GT(checked, 250);
}

}  // namespace
}  // namespace paifu::tenhou
