// The floor under the dataset command: the time convert_log_text alone takes over every log of
// a directory, the files read into memory beforehand. Prints one JSON object:
// {"logs": N, "bytes": B, "seconds": [one total per repetition]}.
// Usage: paifu_bench_in_memory DIR [REPETITIONS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "paifu/conv/convert.hpp"
#include "test_files.hpp"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fputs("usage: paifu_bench_in_memory DIR [REPETITIONS]\n", stderr);
    return 2;
  }
  const int repetitions = argc == 3 ? std::max(1, std::atoi(argv[2])) : 5;
  std::vector<fs::path> paths;
  for (const auto& entry : fs::recursive_directory_iterator(argv[1])) {
    if (entry.is_regular_file() && entry.path().extension() == ".json") paths.push_back(entry.path());
  }
  std::sort(paths.begin(), paths.end());
  std::vector<std::string> texts;
  texts.reserve(paths.size());
  std::size_t bytes = 0;
  for (const auto& path : paths) {
    texts.push_back(paifu::testing::read_file(path));
    bytes += texts.back().size();
  }

  std::printf("{\"logs\": %zu, \"bytes\": %zu, \"seconds\": [", texts.size(), bytes);
  for (int rep = 0; rep < repetitions; ++rep) {
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& text : texts) {
      if (!paifu::conv::convert_log_text(text)) {
        std::fputs("a log failed: the figures would mean nothing\n", stderr);
        return 1;
      }
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%s%.4f", rep == 0 ? "" : ", ", took.count());
  }
  std::printf("]}\n");
  return 0;
}
