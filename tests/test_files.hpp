// Files for tests: reading and writing whole files, the real logs, and a scratch directory.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace paifu::testing {

namespace fs = std::filesystem;

inline std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void write_file(const fs::path& path, std::string_view content) {
  std::ofstream(path, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
}

// The real logs: the bundled ones, and the shared ones when that directory exists (they are
// read in place, never copied into the project).
inline std::vector<fs::path> real_logs() {
  std::vector<fs::path> logs;
  for (const char* dir : {PAIFU_SAMPLES_DIR, PAIFU_SHARED_CORPUS_DIR}) {
    if (!fs::is_directory(dir)) continue;
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (entry.path().extension() == ".json") logs.push_back(entry.path());
    }
  }
  std::sort(logs.begin(), logs.end());
  return logs;
}

// A fresh directory, removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "paifu-test-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() { fs::remove_all(path_); }
  fs::path operator/(const std::string& name) const { return path_ / name; }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

}  // namespace paifu::testing
