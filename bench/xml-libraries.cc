// The two XML libraries Debian offers, on every mjlog of the test data: pugixml building its
// tree in place, expat calling handlers that do nothing, and the lexical check that goes with
// pugixml. Each pass reads all 25 records.
#include <benchmark/benchmark.h>
#include <expat.h>

#include <filesystem>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "paifu/mjlog/xml_check.hpp"
#include "test_files.hpp"

namespace {

namespace fs = std::filesystem;

const std::vector<std::string>& records() {
  static const std::vector<std::string> texts = [] {
    std::vector<std::string> result;
    for (const char* folder : {"pairs", "edge"}) {
      for (const auto& entry : fs::directory_iterator(fs::path(PAIFU_MJLOG_DIR) / folder)) {
        if (entry.path().extension() == ".xml") result.push_back(paifu::testing::read_file(entry.path()));
      }
    }
    return result;
  }();
  return texts;
}

template <typename Body>
void per_pass(benchmark::State& state, Body body) {
  std::int64_t bytes = 0;
  for (const auto& text : records()) bytes += static_cast<std::int64_t>(text.size());
  for (auto _ : state) {
    for (const auto& text : records()) {
      if (!body(text)) {
        state.SkipWithError("a record was refused");
        return;
      }
    }
  }
  state.SetBytesProcessed(state.iterations() * bytes);
}

void BM_Pugixml(benchmark::State& state) {
  std::string buffer;
  per_pass(state, [&](const std::string& text) {
    buffer = text;
    pugi::xml_document document;
    constexpr unsigned kOptions = pugi::parse_escapes | pugi::parse_wconv_attribute | pugi::parse_eol;
    return static_cast<bool>(document.load_buffer_inplace(buffer.data(), buffer.size(), kOptions, pugi::encoding_utf8));
  });
}

void BM_PugixmlWithCheck(benchmark::State& state) {
  std::string buffer;
  per_pass(state, [&](const std::string& text) {
    if (paifu::mjlog::find_xml_fault(text)) return false;
    buffer = text;
    pugi::xml_document document;
    constexpr unsigned kOptions = pugi::parse_escapes | pugi::parse_wconv_attribute | pugi::parse_eol;
    return static_cast<bool>(document.load_buffer_inplace(buffer.data(), buffer.size(), kOptions, pugi::encoding_utf8));
  });
}

void count_element(void* data, const XML_Char*, const XML_Char**) { ++*static_cast<std::size_t*>(data); }

void BM_Expat(benchmark::State& state) {
  std::size_t elements = 0;
  per_pass(state, [&](const std::string& text) {
    XML_Parser parser = XML_ParserCreate("UTF-8");
    XML_SetUserData(parser, &elements);
    XML_SetStartElementHandler(parser, count_element);
    const bool ok = XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return ok;
  });
  benchmark::DoNotOptimize(elements);
}

BENCHMARK(BM_Pugixml);
BENCHMARK(BM_PugixmlWithCheck);
BENCHMARK(BM_Expat);

}  // namespace

BENCHMARK_MAIN();
