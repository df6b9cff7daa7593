// The paifu command end to end: directories of real and broken logs converted into mirrored
// trees of mjai files, failures reported and counted, interrupted runs leaving no partial file.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <set>
#include <thread>

#include "command_runner.hpp"
#include "paifu/conv/convert.hpp"
#include "test_files.hpp"

namespace paifu {
namespace {

namespace fs = std::filesystem;

using testing::read_file;
using testing::run_paifu;
using testing::TempDir;
using testing::write_file;

std::string shell_output(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  char buffer[65536];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  pclose(pipe);
  return out;
}

// Compression and decompression by the system's gzip program: a check independent of ours.
void gzip_file(const fs::path& from, const fs::path& to) {
  ASSERT_EQ(std::system(("gzip -c '" + from.string() + "' > '" + to.string() + "'").c_str()), 0);
}
std::string gunzip_file(const fs::path& path) { return shell_output("gzip -dc '" + path.string() + "'"); }

// The real logs, once each: the shared corpus repeats the bundled ones under the same names.
std::vector<fs::path> distinct_logs() {
  std::vector<fs::path> logs;
  std::set<fs::path> names;
  for (const auto& log : testing::real_logs()) {
    if (names.insert(log.filename()).second) logs.push_back(log);
  }
  return logs;
}

std::string expected_mjai(const fs::path& log) {
  auto lines = conv::convert_log_file(log.string(), std::nullopt);
  std::string text;
  text += lines.value().text();
  return text;
}

// Every regular file below `root`, by path relative to it, with its contents.
std::map<std::string, std::string> tree_contents(const fs::path& root) {
  std::map<std::string, std::string> files;
  if (!fs::exists(root)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files[fs::relative(entry.path(), root).string()] = read_file(entry.path());
  }
  return files;
}

// Standard error without its last line, the summary; and that line.
std::pair<std::string, std::string> split_summary(const std::string& err) {
  const std::size_t start = err.rfind('\n', err.size() - 2) + 1;  // 0 when npos: a single line
  return {err.substr(0, start), err.substr(start)};
}
std::string without_last_line(const std::string& text) { return split_summary(text).first; }
std::string last_line(const std::string& text) { return split_summary(text).second; }

// A dataset in dated folders: the real logs alternate between plain and gzip-compressed, plus
// a few files that are not logs.
class Dataset : public ::testing::Test {
 protected:
  void SetUp() override {
    logs_ = distinct_logs();
    ASSERT_GE(logs_.size(), 17u);
    for (std::size_t i = 0; i < logs_.size(); ++i) {
      const std::string folder = i % 3 == 0 ? "2019/01" : i % 3 == 1 ? "2019/02" : "2020/11/deep";
      fs::create_directories(in() / folder);
      const std::string stem = logs_[i].stem().string();
      if (i % 2 == 0) {
        fs::copy_file(logs_[i], in() / folder / (stem + ".json"));
      } else {
        gzip_file(logs_[i], in() / folder / (stem + ".json.gz"));
      }
      expected_[folder + "/" + stem + ".mjson"] = expected_mjai(logs_[i]);
    }
    write_file(in() / "2019" / "README.txt", "not a log");
    write_file(in() / "2019" / "01" / "notes.jsonl", "not a log either");
  }

  fs::path in() const { return dir_ / "in"; }
  fs::path out() const { return dir_ / "out"; }

  TempDir dir_;
  std::vector<fs::path> logs_;
  std::map<std::string, std::string> expected_;  // output relative path -> its text
};

TEST_F(Dataset, OutputsMirrorTheInputTreeAndHoldTheConvertedLines) {
  const std::vector<std::vector<std::string>> option_sets = {
      {"-j", "2"}, {"--gzip"}, {"--gzip", "--gzip-level", "1"}, {"--gzip", "--gzip-level", "12"}};
  for (const auto& options : option_sets) {
    std::vector<std::string> args = {in().string(), "-o", out().string()};
    args.insert(args.end(), options.begin(), options.end());
    const auto result = run_paifu(args);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.err.starts_with("paifu: " + std::to_string(logs_.size()) + " converted, 0 failed,"))
        << result.err;
    const bool gzip = options.front() == "--gzip";
    std::map<std::string, std::string> unpacked;  // checked by the system's gzip, not ours
    for (const auto& [name, contents] : tree_contents(out())) {
      ASSERT_EQ(name.ends_with(".gz"), gzip) << name;
      unpacked[gzip ? name.substr(0, name.size() - 3) : name] = gzip ? gunzip_file(out() / name) : contents;
    }
    EXPECT_EQ(unpacked, expected_) << options.back();
    fs::remove_all(out());
  }
}

TEST_F(Dataset, OneWorkerAndTwoWorkersGiveTheSameOutputsAndMessages) {
  write_file(in() / "2019" / "01" / "broken.json", "[");
  write_file(in() / "2020" / "broken.json.gz", "not gzip");
  const auto one = run_paifu({in().string(), "-o", (dir_ / "one").string(), "-j", "1"});
  const auto two = run_paifu({in().string(), "-o", (dir_ / "two").string(), "-j", "2"});
  EXPECT_EQ(one.status, 1);
  EXPECT_EQ(two.status, 1);
  EXPECT_EQ(tree_contents(dir_ / "one"), tree_contents(dir_ / "two"));
  EXPECT_EQ(without_last_line(one.err), without_last_line(two.err));
}

TEST_F(Dataset, FilesGivenDirectlyLandInTheOutputDirectory) {
  const fs::path log = in() / "2019" / "01" / (logs_[0].stem().string() + ".json");
  const auto result = run_paifu({log.string(), "-o", out().string()});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(
      tree_contents(out()),
      (std::map<std::string, std::string>{{logs_[0].stem().string() + ".mjson", expected_mjai(logs_[0])}}));
}

// Each broken input fails with the class and message of the conversion itself; the rest convert.
TEST_F(Dataset, FailuresAreReportedInOrderAndTheOthersConvert) {
  const std::string truncated = read_file(in() / "2019" / "02" / (logs_[1].stem().string() + ".json.gz"));
  write_file(in() / "2019" / "01" / "a-syntax.json", "{\"title\": [");
  write_file(in() / "2019" / "01" / "b-latin1.json", "\xff\xfe");
  write_file(in() / "2019" / "01" / "c-corrupt.json.gz", "\x1f\x8b\x08\x00garbage");
  write_file(in() / "2019" / "01" / "d-truncated.json.gz", truncated.substr(0, truncated.size() / 2));
  write_file(in() / "2019" / "01" / "e-not-a-log.json.gz", shell_output("echo '[1,2]' | gzip -c"));
  write_file(in() / "2019" / "01" / "f-empty.json.gz", "");
  write_file(in() / "2019" / "01" / "g-huge.json", "");
  fs::resize_file(in() / "2019" / "01" / "g-huge.json",
                  (std::uintmax_t{64} << 20) + 1);  // sparse: no disk used
  const fs::path missing = dir_ / "missing.json";
  const auto result =
      run_paifu({in().string(), missing.string(), "/dev/zero", "-o", out().string(), "-j", "2"});  // endless
  EXPECT_EQ(result.status, 1);
  const std::string base = (in() / "2019" / "01").string() + "/";
  const std::string failures =
      base + "a-syntax.json: JsonParsingError: failed to parse tenhou.net/6 log\n" + base +
      "b-latin1.json: OSError: stream did not contain valid UTF-8\n" + base +
      "c-corrupt.json.gz: OSError: failed to decompress gzip log (corrupt or truncated data)\n" + base +
      "d-truncated.json.gz: OSError: failed to decompress gzip log (corrupt or truncated data)\n" + base +
      "e-not-a-log.json.gz: JsonParsingError: failed to parse tenhou.net/6 log\n" + base +
      "f-empty.json.gz: OSError: failed to decompress gzip log (empty file)\n" + base +
      "g-huge.json: OSError: log file larger than 64 MiB\n" + missing.string() +
      ": FileNotFoundError: failed to open tenhou.net/6 log file \"" + missing.string() + "\"\n" +
      "/dev/zero: OSError: log file larger than 64 MiB\n";
  EXPECT_EQ(without_last_line(result.err), failures);
  EXPECT_TRUE(last_line(result.err)
                  .starts_with("paifu: " + std::to_string(logs_.size()) + " converted, 9 failed, 0 skipped;"))
      << result.err;
  EXPECT_EQ(tree_contents(out()), expected_);  // nothing of the failed logs
}

TEST_F(Dataset, FailFastStartsNoLogAfterTheFirstFailure) {
  write_file(in() / "0-broken.json", "[");
  const auto result = run_paifu({in().string(), "-o", out().string(), "-j", "1", "--fail-fast"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(without_last_line(result.err),
            (in() / "0-broken.json").string() + ": JsonParsingError: failed to parse tenhou.net/6 log\n");
  EXPECT_TRUE(last_line(result.err)
                  .starts_with("paifu: 0 converted, 1 failed, 0 skipped, " + std::to_string(logs_.size()) +
                               " not started;"))
      << result.err;
  EXPECT_TRUE(tree_contents(out()).empty());
}

TEST_F(Dataset, SkipExistingLeavesExistingOutputsAlone) {
  const std::string kept = "2019/01/" + logs_[0].stem().string() + ".mjson";
  write_file((fs::create_directories(out() / "2019" / "01"), out() / kept), "earlier output\n");
  const auto result = run_paifu({in().string(), "-o", out().string(), "--skip-existing"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(result.err.starts_with("paifu: " + std::to_string(logs_.size() - 1) +
                                     " converted, 0 failed, 1 skipped;"))
      << result.err;
  auto expected = expected_;
  expected[kept] = "earlier output\n";
  EXPECT_EQ(tree_contents(out()), expected);

  // Without the option an existing output is replaced.
  EXPECT_EQ(run_paifu({in().string(), "-o", out().string()}).status, 0);
  EXPECT_EQ(tree_contents(out()), expected_);
}

TEST_F(Dataset, TwoLogsClaimingOneOutputFailTheSecond) {
  fs::copy_file(logs_[0], in() / "2019" / "01" / "twin.json");
  gzip_file(logs_[1], in() / "2019" / "01" / "twin.json.gz");
  const auto result = run_paifu({in().string(), "-o", out().string()});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(without_last_line(result.err), (in() / "2019" / "01" / "twin.json.gz").string() +
                                               ": FileExistsError: mjai out file " +
                                               (out() / "2019" / "01" / "twin.mjson").string() +
                                               " is also the output of an earlier log of this run\n");
  EXPECT_EQ(read_file(out() / "2019" / "01" / "twin.mjson"), expected_mjai(logs_[0]));
}

TEST_F(Dataset, AnOutputDirectoryThatCannotBeCreatedFailsTheRun) {
  write_file(dir_ / "plain-file", "");
  const auto result = run_paifu({in().string(), "-o", (dir_ / "plain-file" / "out").string()});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "paifu: cannot create output directory " + (dir_ / "plain-file" / "out").string() +
                            ": Not a directory\n");
}

TEST_F(Dataset, AnOutputFolderThatCannotBeCreatedFailsOnlyItsLogs) {
  fs::create_directories(out() / "2019");
  write_file(out() / "2019" / "02", "a file where a folder should be");
  const auto result = run_paifu({in().string(), "-o", out().string()});
  EXPECT_EQ(result.status, 1);
  std::size_t failures = 0;
  for (std::size_t start = 0;
       (start = result.err.find("OSError: failed to create mjai out file " + out().string() + "/2019/02/",
                                start)) != std::string::npos;
       ++start)
    ++failures;
  std::size_t in_folder = 0;
  for (const auto& [name, text] : expected_) in_folder += name.starts_with("2019/02/");
  EXPECT_EQ(failures, in_folder) << result.err;
  const auto produced = tree_contents(out());
  EXPECT_EQ(produced.size(), expected_.size() - in_folder + 1);  // the blocking file stays
}

TEST(Command, UsageErrorsExitWithTwo) {
  const TempDir dir;
  const std::string log = (fs::path(PAIFU_SAMPLES_DIR) / "real_001.json").string();
  const std::vector<std::vector<std::string>> usages = {
      {},                                              // no input
      {log, "-o"},                                     // -o without its directory
      {log, "-o", (dir / "out").string(), "-j", "0"},  // no workers
      {log, "-o", (dir / "out").string(), "-j", "x"},
      {log, "--gzip"},  // dataset options need -o
      {log, "--skip-existing"},
      {log, "-o", (dir / "out").string(), "--gzip-level", "3"},  // a level without --gzip
      {log, "-o", (dir / "out").string(), "--gzip", "--gzip-level", "13"},
      {log, "-j", "2"},
      {log, log, log},      // several inputs need -o
      {PAIFU_SAMPLES_DIR},  // so does a directory
      {log, "--no-such-option"},
      {log, "-o", ""},  // an empty directory name
  };
  for (const auto& args : usages) {
    const auto result = run_paifu(args);
    std::string joined;
    for (const auto& arg : args) joined += arg + " ";
    EXPECT_EQ(result.status, 2) << joined << result.err;
    EXPECT_NE(result.err, "") << joined;
    EXPECT_EQ(result.out, "") << joined;
  }
  const auto help = run_paifu({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--output-dir", "--jobs", "--gzip", "--gzip-level", "--skip-existing",
                             "--fail-fast", "--fsync", "Examples"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  // The version of the VERSION file, which the module and the wheel carry too.
  const auto version = run_paifu({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("paifu ") + PAIFU_VERSION + "\n");
  EXPECT_EQ(version.err, "");
}

// The old two-argument form writes one log's lines to a file; a gzip log is read too.
TEST(Command, ConvertsOneLogToAFileOrStandardOutput) {
  const TempDir dir;
  const fs::path log = fs::path(PAIFU_SAMPLES_DIR) / "real_003.json";
  gzip_file(log, dir / "log.json.gz");
  const auto to_file = run_paifu({log.string(), (dir / "lines.txt").string()});
  EXPECT_EQ(to_file.status, 0);
  EXPECT_EQ(read_file(dir / "lines.txt"), expected_mjai(log));
  const auto from_gzip = run_paifu({(dir / "log.json.gz").string()});
  EXPECT_EQ(from_gzip.status, 0);
  EXPECT_EQ(from_gzip.out, expected_mjai(log));
}

// mjlogs under each of their names, gzip told by the first bytes; their failures name the format.
TEST(Command, ConvertsMjlogsUnderEachOfTheirNames) {
  const TempDir dir;
  const fs::path pairs = fs::path(PAIFU_MJLOG_DIR) / "pairs";
  std::vector<fs::path> games;
  for (const auto& entry : fs::directory_iterator(pairs)) {
    if (entry.path().extension() == ".xml") games.push_back(entry.path());
  }
  std::sort(games.begin(), games.end());
  ASSERT_EQ(games.size(), 6u);
  fs::create_directories(dir / "in");
  fs::copy_file(games[0], dir / "in" / "a.xml");
  gzip_file(games[1], dir / "in" / "b.xml.gz");
  gzip_file(games[2], dir / "in" / "c.mjlog");  // as Tenhou's download names them
  gzip_file(games[3], dir / "in" / "d.mjlog.gz");
  fs::copy_file(games[4], dir / "in" / "e.mjlog");
  fs::copy_file(fs::path(games[5]).replace_extension(".json"), dir / "in" / "f.json");
  fs::copy_file(games[5], dir / "in" / "f.mjlog");
  write_file(dir / "in" / "g.mjlog", "<mjloggm>");
  const fs::path missing = dir / "missing.xml";
  const auto result = run_paifu({(dir / "in").string(), missing.string(), "-o", (dir / "out").string()});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(without_last_line(result.err),
            (dir / "in" / "f.mjlog").string() + ": FileExistsError: mjai out file " + (dir / "out" / "f.mjson").string() +
                " is also the output of an earlier log of this run\n" + (dir / "in" / "g.mjlog").string() +
                ": TenhouLogParsingError: failed to parse mjlog\n" + missing.string() +
                ": FileNotFoundError: failed to open mjlog file \"" + missing.string() + "\"\n");
  std::map<std::string, std::string> expected;
  for (std::size_t i = 0; i < games.size(); ++i) {
    expected[std::string(1, static_cast<char>('a' + i)) + ".mjson"] =
        expected_mjai(fs::path(games[i]).replace_extension(".json"));
  }
  EXPECT_EQ(tree_contents(dir / "out"), expected);
  const auto one = run_paifu({(dir / "in" / "c.mjlog").string()});
  EXPECT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(one.out, expected["c.mjson"]);
}

// Stopping a run mid-way leaves complete outputs only, and exits with 128 + the signal: asked
// once, the logs in flight finish; twice, or on a crash, their temporaries are removed.
TEST(Command, AnInterruptedRunLeavesOnlyCompleteOutputs) {
  constexpr std::size_t kCopies = 500;
  const auto logs = distinct_logs();
  // Counted without reading them, so that the run gets no further while we look.
  const auto file_count = [](const fs::path& root) {
    std::size_t count = 0;
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(root, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
      count += it->is_regular_file(ignored);
    }
    return count;
  };
  struct Case {
    const char* name;
    std::vector<int> signals;
  };
  for (const Case& c :
       {Case{"SIGTERM", {SIGTERM}}, Case{"SIGHUP", {SIGHUP}}, Case{"SIGQUIT", {SIGQUIT}},
        Case{"SIGINT twice", {SIGINT, SIGINT}}, Case{"crash", {SIGSEGV}}}) {
    const TempDir dir;
    // Many hard links to the logs: a dataset that takes seconds, made in a fraction of that.
    // It must still be running when the signal comes, also on a loaded machine.
    std::map<std::string, std::string> expected_by_log;
    for (const auto& log : logs) expected_by_log[log.stem().string()] = expected_mjai(log);
    // Linked to one copy in the same directory: the sources may lie on another file system.
    fs::create_directories(dir / "logs");
    for (const auto& log : logs) fs::copy_file(log, dir / "logs" / log.filename());
    for (std::size_t copy = 0; copy < kCopies; ++copy) {
      const fs::path folder = dir / "in" / std::to_string(copy);
      fs::create_directories(folder);
      for (const auto& log : logs) fs::create_hard_link(dir / "logs" / log.filename(), folder / log.filename());
    }
    const pid_t pid = testing::spawn_paifu({(dir / "in").string(), "-o", (dir / "out").string(), "-j", "2"},
                                           dir / "stdout", dir / "stderr");
    ASSERT_GT(pid, 0);
    // Wait until the run is well under way.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (file_count(dir / "out") < 40 && std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (int signal_number : c.signals) kill(pid, signal_number);
    EXPECT_EQ(testing::wait_for_exit(pid), 128 + c.signals.front()) << c.name;

    const auto outputs = tree_contents(dir / "out");
    EXPECT_GE(outputs.size(), 40u) << c.name;
    EXPECT_LT(outputs.size(), kCopies * logs.size()) << c.name << ": the run ended before the signal";
    for (const auto& [name, text] : outputs) {
      const std::string file = fs::path(name).filename().string();
      ASSERT_TRUE(file.ends_with(".mjson")) << c.name << ": left behind " << name;
      EXPECT_EQ(text, expected_by_log[file.substr(0, file.size() - 6)]) << c.name << ": " << name;
    }
  }
}

}  // namespace
}  // namespace paifu
