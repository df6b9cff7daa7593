// Throughput on the real logs: the JSON libraries' own floors (a reader that does nothing with
// what it validates, and the SIMD DOM parse), the strict log reader, and the whole in-memory
// conversion.
#include <benchmark/benchmark.h>
#include <rapidjson/reader.h>
#include <simdjson.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "paifu/conv/convert.hpp"
#include "paifu/conv/output.hpp"
#include "paifu/conv/game_log.hpp"
#include "paifu/conv/kyoku.hpp"
#include "paifu/tenhou/raw_log.hpp"
#include "test_files.hpp"

namespace {

const std::vector<std::string>& corpus() {
  static const std::vector<std::string> texts = [] {
    std::vector<std::string> result;
    for (const auto& path : paifu::testing::real_logs()) result.push_back(paifu::testing::read_file(path));
    return result;
  }();
  return texts;
}

std::int64_t corpus_bytes() {
  std::int64_t total = 0;
  for (const auto& text : corpus()) total += static_cast<std::int64_t>(text.size());
  return total;
}

template <typename Body>
void run_over_corpus(benchmark::State& state, Body body) {
  const auto& texts = corpus();
  for (auto _ : state) {
    for (const auto& text : texts) {
      if (!body(text)) {
        state.SkipWithError("a real log failed: the figures would mean nothing");
        return;
      }
    }
  }
  state.SetBytesProcessed(state.iterations() * corpus_bytes());
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(texts.size()));
}

void BM_LibraryFloor(benchmark::State& state) {
  constexpr unsigned kFlags = rapidjson::kParseIterativeFlag | rapidjson::kParseNumbersAsStringsFlag |
                              rapidjson::kParseValidateEncodingFlag;
  run_over_corpus(state, [](const std::string& text) {
    rapidjson::Reader reader;
    rapidjson::BaseReaderHandler<> handler;
    rapidjson::StringStream stream(text.c_str());
    return !reader.Parse<kFlags>(stream, handler).IsError();
  });
}

// The DOM parse of the quick reader alone, with one parser kept across logs as the reader keeps it:
// the floor the whole conversion is measured against.
void BM_DomFloor(benchmark::State& state) {
  simdjson::dom::parser parser;
  run_over_corpus(state, [&](const std::string& text) {
    simdjson::dom::element root;
    return !parser.parse(text.data(), text.size()).get(root);
  });
}

void BM_ReadLogExactly(benchmark::State& state) {
  run_over_corpus(state, [](const std::string& text) {
    auto log = paifu::tenhou::read_log_exactly(text);
    benchmark::DoNotOptimize(log);
    return log.has_value();
  });
}

void BM_ParseRawLog(benchmark::State& state) {
  run_over_corpus(state, [](const std::string& text) {
    auto log = paifu::tenhou::parse_raw_log(text);
    benchmark::DoNotOptimize(log);
    return log.has_value();
  });
}

void BM_ConvertLogText(benchmark::State& state) {
  run_over_corpus(state, [](const std::string& text) {
    auto lines = paifu::conv::convert_log_text(text);
    benchmark::DoNotOptimize(lines);
    return lines.has_value();
  });
}

// What tenhou_to_mjai does below Python: each log read from its file and converted, no output.
void BM_ConvertLogFile(benchmark::State& state) {
  static const std::vector<std::string> paths = [] {
    std::vector<std::string> result;
    for (const auto& path : paifu::testing::real_logs()) result.push_back(path.string());
    return result;
  }();
  std::size_t index = 0;
  run_over_corpus(state, [&](const std::string&) {
    auto lines = paifu::conv::convert_log_file(paths[index], std::nullopt);
    benchmark::DoNotOptimize(lines);
    index = (index + 1) % paths.size();
    return lines.has_value();
  });
}

// What mjai_out naming a regular file adds to a call: each log's lines written as a temporary
// beside the output (in TMPDIR, else /tmp) and renamed over the last log's.
void BM_DeliverLines(benchmark::State& state) {
  static const std::vector<paifu::mjai::Lines> lines = [] {
    std::vector<paifu::mjai::Lines> result;
    for (const auto& text : corpus()) result.push_back(paifu::conv::convert_log_text(text).value());
    return result;
  }();
  const char* directory = std::getenv("TMPDIR");
  const std::string path = std::string(directory && *directory ? directory : "/tmp") + "/paifu-bench-" +
                           std::to_string(::getpid()) + ".mjson";
  std::size_t index = 0;
  run_over_corpus(state, [&](const std::string&) {
    const bool delivered = paifu::conv::deliver_lines(lines[index], path).has_value();
    index = (index + 1) % lines.size();
    return delivered;
  });
  ::unlink(path.c_str());
}

// What the per-line buffers alone cost: one 128-byte buffer per event, as the encoder makes
// them, allocated and released for every log. A floor under the whole conversion.
void BM_LineBuffersOnly(benchmark::State& state) {
  static const std::vector<std::size_t> line_counts = [] {
    std::vector<std::size_t> counts;
    for (const auto& text : corpus()) counts.push_back(paifu::conv::convert_log_text(text).value().size());
    return counts;
  }();
  std::size_t index = 0;
  run_over_corpus(state, [&](const std::string&) {
    std::vector<std::string> lines;
    lines.reserve(line_counts[index]);
    for (std::size_t i = 0; i < line_counts[index]; ++i) {
      std::string line;
      line.reserve(128);
      lines.push_back(std::move(line));
    }
    benchmark::DoNotOptimize(lines);
    index = (index + 1) % line_counts.size();
    return true;
  });
}

// The prepared kyoku of every real log, for the stages after reading.
const std::vector<paifu::conv::PreparedKyoku>& prepared_kyokus() {
  static const std::vector<paifu::conv::PreparedKyoku> kyokus = [] {
    std::vector<paifu::conv::PreparedKyoku> result;
    for (const auto& text : corpus()) {
      auto game = paifu::conv::prepare_game_log(paifu::tenhou::parse_raw_log(text).value()).value();
      for (auto& kyoku : game.kyokus) result.push_back(std::move(kyoku));
    }
    return result;
  }();
  return kyokus;
}

// Two stages of the conversion alone, over every kyoku of the real logs: decoding the seats'
// lists, and the replay that encodes their lines.
void BM_SeatActions(benchmark::State& state) {
  paifu::conv::SeatActions seats;
  for (auto _ : state) {
    for (const auto& kyoku : prepared_kyokus()) {
      if (!paifu::conv::build_seat_actions(kyoku, seats)) state.SkipWithError("a real kyoku failed");
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(corpus().size()));
}

void BM_Replay(benchmark::State& state) {
  std::vector<paifu::conv::SeatActions> seats(prepared_kyokus().size());
  for (std::size_t i = 0; i < seats.size(); ++i) (void)paifu::conv::build_seat_actions(prepared_kyokus()[i], seats[i]);
  paifu::conv::ReplayChoices choices;
  paifu::mjai::Lines lines;  // kept, so that its pages are not faulted in again for every round
  lines.reserve(64 * 1024, 4 << 20);
  for (auto _ : state) {
    lines.truncate(0);
    paifu::mjai::LineWriter writer(lines);
    for (std::size_t i = 0; i < seats.size(); ++i) {
      if (!paifu::conv::replay_kyoku(prepared_kyokus()[i], seats[i], writer, choices)) {
        state.SkipWithError("a real kyoku failed");
      }
    }
    benchmark::DoNotOptimize(lines);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(corpus().size()));
}

BENCHMARK(BM_LibraryFloor);
BENCHMARK(BM_DomFloor);
BENCHMARK(BM_ReadLogExactly);
BENCHMARK(BM_ParseRawLog);
BENCHMARK(BM_ConvertLogText);
BENCHMARK(BM_ConvertLogFile);
BENCHMARK(BM_DeliverLines);
BENCHMARK(BM_LineBuffersOnly);
BENCHMARK(BM_SeatActions);
BENCHMARK(BM_Replay);

}  // namespace

BENCHMARK_MAIN();
