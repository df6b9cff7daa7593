// The mjlog conversion per game beside the JSON conversion of the same six games (Tenhou
// exported each in both forms), in memory and from files.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "paifu/base/gzip.hpp"
#include "paifu/conv/convert.hpp"
#include "paifu/conv/convert_mjlog.hpp"
#include "test_files.hpp"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> pair_files(const std::string& extension) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(fs::path(PAIFU_MJLOG_DIR) / "pairs")) {
    if (entry.path().extension() == extension) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::string> texts_of(const std::vector<fs::path>& files) {
  std::vector<std::string> texts;
  for (const auto& file : files) texts.push_back(paifu::testing::read_file(file));
  return texts;
}

template <typename Body>
void per_game(benchmark::State& state, std::size_t games, Body body) {
  for (auto _ : state) {
    for (std::size_t i = 0; i < games; ++i) {
      if (!body(i)) {
        state.SkipWithError("a game failed: the figures would mean nothing");
        return;
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(games));
}

void BM_JsonText(benchmark::State& state) {
  static const auto texts = texts_of(pair_files(".json"));
  per_game(state, texts.size(), [&](std::size_t i) {
    auto lines = paifu::conv::convert_log_text(texts[i]);
    benchmark::DoNotOptimize(lines);
    return lines.has_value();
  });
}

// The reader parses its buffer in place, so each game starts from a fresh copy, as a read
// from a file would give it.
void mjlog_texts(benchmark::State& state, const std::vector<std::string>& texts) {
  paifu::GzipCodec codec;
  std::string buffer, scratch;
  per_game(state, texts.size(), [&](std::size_t i) {
    buffer = texts[i];
    auto lines = paifu::conv::convert_mjlog_bytes(buffer, codec, scratch);
    benchmark::DoNotOptimize(lines);
    return lines.has_value();
  });
}

void BM_MjlogText(benchmark::State& state) {
  static const auto texts = texts_of(pair_files(".xml"));
  mjlog_texts(state, texts);
}

void BM_MjlogGzipText(benchmark::State& state) {
  static const auto texts = [] {
    paifu::GzipCodec codec;
    std::vector<std::string> packed;
    for (const auto& text : texts_of(pair_files(".xml"))) {
      codec.compress(text, packed.emplace_back());
    }
    return packed;
  }();
  mjlog_texts(state, texts);
}

void BM_JsonFile(benchmark::State& state) {
  static const auto files = pair_files(".json");
  per_game(state, files.size(), [&](std::size_t i) {
    auto lines = paifu::conv::convert_log_file(files[i].string(), std::nullopt);
    benchmark::DoNotOptimize(lines);
    return lines.has_value();
  });
}

void BM_MjlogFile(benchmark::State& state) {
  static const auto files = pair_files(".xml");
  per_game(state, files.size(), [&](std::size_t i) {
    auto lines = paifu::conv::convert_mjlog_file(files[i].string(), std::nullopt);
    benchmark::DoNotOptimize(lines);
    return lines.has_value();
  });
}

BENCHMARK(BM_JsonText);
BENCHMARK(BM_MjlogText);
BENCHMARK(BM_MjlogGzipText);
BENCHMARK(BM_JsonFile);
BENCHMARK(BM_MjlogFile);

}  // namespace

BENCHMARK_MAIN();
