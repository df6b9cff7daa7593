// The dataset command's parts: gzip, the plan of jobs, atomic outputs, the report lines.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "cli/atomic_output.hpp"
#include "cli/dataset_plan.hpp"
#include "cli/dataset_run.hpp"
#include "paifu/base/internal_fault.hpp"
#include "paifu/base/gzip.hpp"
#include "cli/report.hpp"
#include "test_files.hpp"

namespace paifu::cli {
namespace {

namespace fs = std::filesystem;

using testing::read_file;
using testing::TempDir;
using testing::write_file;

std::string gzip(std::string_view text) {
  GzipCodec codec;
  std::string out;
  codec.compress(text, out);
  return out;
}

std::string pseudo_random_text(std::size_t size) {
  std::string text(size, ' ');
  std::uint32_t state = 12345;
  for (char& c : text) {
    state = state * 1664525 + 1013904223;
    c = static_cast<char>('a' + (state >> 24) % 26);
  }
  return text;
}

TEST(Gzip, RoundTripsAndJoinsMembers) {
  const std::string big = pseudo_random_text(300000);
  struct Case {
    const char* name;
    std::string compressed;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"empty text", gzip(""), ""},
      {"a line", gzip("{\"type\":\"end_game\"}\n"), "{\"type\":\"end_game\"}\n"},
      {"larger than the first guess", gzip(big), big},
      // The trailer read first is the last member's, far too small for the first.
      {"members", gzip(big) + gzip("tail"), big + "tail"},
  };
  GzipCodec codec;
  std::string out = "left over from an earlier file";
  for (const Case& c : cases) {
    auto result = codec.decompress(c.compressed, out);
    ASSERT_TRUE(result) << c.name << ": " << result.error().number;
    EXPECT_EQ(out, c.text) << c.name;
  }
}

TEST(Gzip, BrokenDataFailsCleanly) {
  const std::string valid = gzip(pseudo_random_text(5000));
  std::string bad_crc = valid;
  bad_crc[bad_crc.size() - 6] ^= 1;
  const std::string corrupt = "OSError: failed to decompress gzip log (corrupt or truncated data)";
  struct Case {
    const char* name;
    std::string compressed;
    std::string failure;
    std::size_t limit = kMaxLogBytes;
  };
  const std::vector<Case> cases = {
      {"empty", "", "OSError: failed to decompress gzip log (empty file)"},
      {"not gzip", "plain text, not compressed", corrupt},
      {"header only", valid.substr(0, 10), corrupt},
      {"truncated", valid.substr(0, valid.size() / 2), corrupt},
      {"checksum", bad_crc, corrupt},
      {"trailing garbage", valid + "xyz", corrupt},
      {"bomb", gzip(std::string(1 << 20, '0')),
       "OSError: failed to decompress gzip log (larger than 64 MiB)", 65536},  // the cap is always 64 MiB
  };
  GzipCodec codec;
  std::string out;
  for (const Case& c : cases) {
    auto result = codec.decompress(c.compressed, out, c.limit);
    ASSERT_FALSE(result) << c.name;
    const Failure failure = conversion_failure(result.error(), {});
    EXPECT_EQ(std::string(failure.class_name) + ": " + failure.message, c.failure) << c.name;
  }
}

TEST(Plan, NamesOfLogsAndTheirOutputs) {
  struct Case {
    const char* log;
    bool is_log;
    const char* plain;
    const char* gzip;
  };
  const std::vector<Case> cases = {
      {"x.json", true, "x.mjson", "x.mjson.gz"},
      {"x.json.gz", true, "x.mjson", "x.mjson.gz"},
      {"2019.01.01.json", true, "2019.01.01.mjson", "2019.01.01.mjson.gz"},
      {".json", true, ".mjson", ".mjson.gz"},
      {"x.JSON", false, "x.JSON.mjson", "x.JSON.mjson.gz"},
      {"x.gz", false, "x.gz.mjson", "x.gz.mjson.gz"},
      {"x.mjson", false, "x.mjson.mjson", "x.mjson.mjson.gz"},
      {"x.jsonl", false, "x.jsonl.mjson", "x.jsonl.mjson.gz"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(is_log_name(c.log), c.is_log) << c.log;
    EXPECT_EQ(output_name(c.log, false), c.plain) << c.log;
    EXPECT_EQ(output_name(c.log, true), c.gzip) << c.log;
  }
}

std::vector<std::pair<std::string, std::string>> paths_of(const std::vector<Job>& jobs) {
  std::vector<std::pair<std::string, std::string>> paths;
  for (const Job& job : jobs)
    paths.emplace_back(job.input, job.failure ? "failed: " + job.failure->message : job.output);
  return paths;
}

TEST(Plan, WalksDirectoriesInByteOrderAndMirrorsThem) {
  const TempDir dir;
  const std::string in = (dir / "in").string();
  for (const char* folder : {"in/b", "in/a/z", "elsewhere"}) fs::create_directories(dir / folder);
  for (const char* file : {"in/b/2.json", "in/b/10.json.gz", "in/a/z/x.json", "in/a/y.json", "in/B.json",
                           "in/a/notes.txt", "elsewhere/linked.json", "elsewhere/deep.json", "single.json"}) {
    write_file(dir / file, "");
  }
  fs::create_symlink(dir / "elsewhere" / "linked.json", dir / "in" / "link.json");  // followed
  fs::create_directory_symlink(dir / "elsewhere", dir / "in" / "linked-folder");    // not followed
  fs::create_directory_symlink(dir / "in", dir / "in" / "a" / "loop");              // nor this one
  fs::create_symlink(dir / "gone.json", dir / "in" / "dangling.json");              // its read fails
  ASSERT_EQ(mkfifo((dir / "in" / "fifo.json").c_str(), 0600), 0);                   // never read

  // Some file systems do not give the entries' types: the walk asks for them.
  FileSystem untyped = real_file_system();
  untyped.readdir = [](DIR* folder) {
    dirent* entry = ::readdir(folder);
    if (entry != nullptr) entry->d_type = DT_UNKNOWN;
    return entry;
  };
  const std::vector<std::pair<std::string, std::string>> expected = {
      {in + "/B.json", "out/B.mjson.gz"},         {in + "/a/y.json", "out/a/y.mjson.gz"},
      {in + "/a/z/x.json", "out/a/z/x.mjson.gz"}, {in + "/b/10.json.gz", "out/b/10.mjson.gz"},
      {in + "/b/2.json", "out/b/2.mjson.gz"},     {in + "/dangling.json", "out/dangling.mjson.gz"},
      {in + "/link.json", "out/link.mjson.gz"},   {(dir / "single.json").string(), "out/single.mjson.gz"},
      {in + "/b/2.json", "out/2.mjson.gz"},  // given directly: named after the file alone
  };
  for (const FileSystem* fs : {&real_file_system(), static_cast<const FileSystem*>(&untyped)}) {
    const auto jobs =
        plan_jobs({in + "/", (dir / "single.json").string(), in + "/b/2.json"}, "out", true, *fs);
    EXPECT_EQ(paths_of(jobs), expected) << (fs == &untyped ? "untyped entries" : "typed entries");
  }
}

TEST(Plan, TheSameLogTwiceFailsTheSecondTime) {
  const TempDir dir;
  write_file(dir / "x.json", "");
  const auto jobs = plan_jobs({(dir / "x.json").string(), (dir / "x.json").string()}, "out", false);
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_FALSE(jobs[0].failure);
  ASSERT_TRUE(jobs[1].failure);
  EXPECT_EQ(jobs[1].failure->class_name, "FileExistsError");
}

// A file system whose directory reads fail for names containing "locked".
FileSystem locked_directories() {
  FileSystem fs = real_file_system();
  fs.opendir = [](const char* path) -> DIR* {
    if (std::string_view(path).find("locked") != std::string_view::npos) {
      errno = EACCES;
      return nullptr;
    }
    return ::opendir(path);
  };
  return fs;
}

TEST(Plan, AnUnreadableDirectoryBecomesAFailedJob) {
  const TempDir dir;
  fs::create_directories(dir / "in" / "locked");
  write_file(dir / "in" / "a.json", "");
  write_file(dir / "in" / "z.json", "");
  const std::string in = (dir / "in").string();
  const auto jobs = plan_jobs({in}, "out", false, locked_directories());
  EXPECT_EQ(paths_of(jobs),
            (std::vector<std::pair<std::string, std::string>>{
                {in + "/a.json", "out/a.mjson"},
                {in + "/locked", "failed: failed to read directory \"" + in + "/locked\": Permission denied"},
                {in + "/z.json", "out/z.mjson"},
            }));
  EXPECT_EQ(jobs[1].failure->class_name, "PermissionError");
}

// A real file system with faults injected into chosen calls.
struct Faults {
  int write_error = 0;   // every write fails with this
  bool trickle = false;  // writes take one byte at a time, after an EINTR each
  int close_error = 0;
  int rename_error = 0;
  int fsync_error = 0;
  int taken_names = 0;       // this many exclusive creations find the name taken
  bool interrupted = false;  // state of the trickle
  int fsyncs = 0;
};
Faults* faults = nullptr;

SystemCalls faulty_io() {
  SystemCalls io = real_system_calls();
  io.writev = [](int fd, const iovec* parts, int count) -> ssize_t {
    if (faults->write_error != 0) return errno = faults->write_error, -1;
    if (!faults->trickle) return ::writev(fd, parts, count);
    if ((faults->interrupted = !faults->interrupted)) return errno = EINTR, -1;
    iovec one{parts[0].iov_base, 1};
    return ::writev(fd, &one, 1);
  };
  io.open = [](const char* path, int flags, mode_t mode) {
    if ((flags & O_EXCL) != 0 && faults->taken_names > 0) return --faults->taken_names, errno = EEXIST, -1;
    return ::open(path, flags, mode);
  };
  io.close = [](int fd) {
    ::close(fd);
    if (faults->close_error != 0) return errno = faults->close_error, -1;
    return 0;
  };
  return io;
}

class AtomicOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    faults = &faults_;
    fs_.io = &io_;
    io_.rename = [](const char* from, const char* to) {
      if (faults->rename_error != 0) return errno = faults->rename_error, -1;
      return ::rename(from, to);
    };
    fs_.fsync = [](int fd) {
      ++faults->fsyncs;
      if (faults->fsync_error != 0) return errno = faults->fsync_error, -1;
      return ::fsync(fd);
    };
  }
  void TearDown() override { faults = nullptr; }

  // The names in the directory, temporaries included.
  std::vector<std::string> names_in(const fs::path& folder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  Faults faults_;
  SystemCalls io_ = faulty_io();
  FileSystem fs_ = real_file_system();
  TempDir dir_;
  const TemporarySlot slot_{0};

  void write_numbered_lines(const std::string& name);

  expected<void, Error> write(const fs::path& path, std::string_view bytes, bool sync = false) {
    AtomicWriter writer(WriteSettings{sync}, slot_, fs_, 42);
    return writer.write(path.string(), bytes);
  }
};

TEST_F(AtomicOutput, WritesEverythingThroughPartialAndInterruptedWrites) {
  faults_.trickle = true;
  faults_.taken_names = 3;  // another name is drawn, never an existing file reused
  const std::string path = (dir_ / "a" / "b" / "x.mjson").string();  // folders made on demand
  const mode_t mask = ::umask(027);
  const auto written = write(path, "line one\nline two\n", true);
  ::umask(mask);
  ASSERT_TRUE(written);
  EXPECT_EQ(read_file(path), "line one\nline two\n");
  EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));  // as any file made under that umask
  EXPECT_EQ(faults_.fsyncs, 1);
  EXPECT_EQ(names_in(dir_ / "a" / "b"), std::vector<std::string>{"x.mjson"});
}

TEST_F(AtomicOutput, AFailureLeavesTheOldOutputAndNoTemporary) {
  struct Case {
    const char* name;
    Faults faults;
    Stage stage;
  };
  const std::vector<Case> cases = {
      {"disk full", Faults{.write_error = ENOSPC}, Stage::Write},
      {"late error at close", Faults{.write_error = 0, .trickle = false, .close_error = EIO},
       Stage::Write},
      {"rename refused", Faults{.rename_error = EACCES}, Stage::Create},
      {"sync failed", Faults{.fsync_error = EIO}, Stage::Write},
      {"every name taken", Faults{.taken_names = 1000}, Stage::Create},
  };
  const fs::path path = dir_ / "x.mjson";
  write_file(path, "complete earlier output\n");
  for (const Case& c : cases) {
    faults_ = c.faults;
    auto written = write(path, "new lines\n", true);
    ASSERT_FALSE(written) << c.name;
    EXPECT_EQ(written.error().stage, c.stage) << c.name;
    EXPECT_EQ(read_file(path), "complete earlier output\n") << c.name;
    EXPECT_EQ(names_in(dir_.path()), std::vector<std::string>{"x.mjson"}) << c.name;
  }
}

TEST_F(AtomicOutput, AnUncreatableFolderIsACreateFailure) {
  write_file(dir_ / "file", "");
  auto written = write(dir_ / "file" / "sub" / "x.mjson", "x\n");
  ASSERT_FALSE(written);
  EXPECT_EQ(written.error().stage, Stage::Create);
}

TEST_F(AtomicOutput, TemporariesLieBesideTheOutputWithinANamesLength) {
  AtomicWriter writer(WriteSettings{}, slot_, fs_, 7);
  const std::string first = writer.temporary_name("out/a/x.mjson");
  EXPECT_TRUE(first.starts_with("out/a/.x.mjson.tmp.")) << first;
  EXPECT_EQ(first.size(), std::string("out/a/.x.mjson.tmp.").size() + 6);
  EXPECT_NE(writer.temporary_name("out/a/x.mjson"), first);
  EXPECT_TRUE(writer.temporary_name("x.mjson").starts_with(".x.mjson.tmp."));
  const std::string long_name = writer.temporary_name("out/" + std::string(250, 'n'));
  EXPECT_LE(long_name.size() - 4, 255u);
}

// Lines given as many parts, more than one call may take, arrive whole and in order.
TEST_F(AtomicOutput, WritesManyPartsInOrder) {
  for (const bool trickle : {false, true}) {
    faults_.trickle = trickle;
    write_numbered_lines(trickle ? "trickled.mjson" : "whole.mjson");
  }
}

void AtomicOutput::write_numbered_lines(const std::string& name) {
  std::vector<std::string> lines;
  std::string expected;
  for (int i = 0; i < 3000; ++i) {
    lines.push_back(std::to_string(i));
    expected += lines.back() + "\n";
  }
  static const char kLineFeed = '\n';
  std::vector<iovec> parts;
  for (const auto& line : lines) {
    parts.push_back({const_cast<char*>(line.data()), line.size()});
    parts.push_back({const_cast<char*>(&kLineFeed), 1});
  }
  AtomicWriter writer(WriteSettings{}, slot_, fs_, 1);
  ASSERT_TRUE(writer.write((dir_ / name).string(), parts)) << name;
  EXPECT_EQ(read_file(dir_ / name), expected) << name;
}

// A fault inside one log's conversion fails that log alone; the others convert. A fail-fast run
// converts the logs before its first failure and starts none after it, however many were read
// ahead. Each in turn and pipelined.
TEST(DatasetRun, FaultsAndFailFast) {
  static SystemCalls io = real_system_calls();
  io.open = [](const char* path, int flags, mode_t mode) {
    const std::string_view name(path);
    if (name.ends_with("oom.json")) throw std::bad_alloc();
    if (name.ends_with("bug.json")) internal_fault("a broken invariant");
    return ::open(path, flags, mode);
  };
  FileSystem fs = real_file_system();
  fs.io = &io;
  const std::string log = (fs::path(PAIFU_SAMPLES_DIR) / "real_001.json").string();
  for (const bool pipelined : {false, true}) {
    SCOPED_TRACE(pipelined);
    const TempDir dir;
    const std::vector<Job> jobs = {{"in/oom.json", (dir / "oom.mjson").string(), {}},
                                   {"in/bug.json", (dir / "bug.mjson").string(), {}},
                                   {log, (dir / "good.mjson").string(), {}}};
    std::string report;
    const auto sink = [&](std::string_view text) { report += text; };
    RunSettings settings;
    settings.pipelined = pipelined;
    const RunResult result = run_dataset(jobs, settings, sink, fs);
    EXPECT_EQ(result.tally.failed, 2u);
    EXPECT_EQ(result.tally.converted, 1u);
    EXPECT_TRUE(report.starts_with("in/oom.json: MemoryError: out of memory\n"
                                   "in/bug.json: PanicException: internal fault at "))
        << report;
    EXPECT_NE(report.find(": a broken invariant\n"), std::string::npos) << report;
    EXPECT_TRUE(fs::exists(dir / "good.mjson"));

    const std::string broken = (dir / "broken.json").string();
    std::ofstream(broken) << "[";
    std::vector<Job> fail_fast_jobs = {{log, (dir / "first.mjson").string(), {}}, {broken, broken + ".mjson", {}}};
    for (int i = 0; i < 40; ++i) fail_fast_jobs.push_back({log, (dir / ("later" + std::to_string(i))).string(), {}});
    settings.fail_fast = true;
    const RunResult stopped = run_dataset(fail_fast_jobs, settings, sink, fs);
    EXPECT_EQ(stopped.tally.converted, 1u);
    EXPECT_EQ(stopped.tally.failed, 1u);
    EXPECT_TRUE(fs::exists(dir / "first.mjson"));
    EXPECT_FALSE(fs::exists(dir / "later0"));

    // Failures known at once fill the window of jobs ahead of the first log, which waits in a
    // batch not yet full: the run must still end.
    std::vector<Job> mostly_failed = {{log, (dir / "only.mjson").string(), {}}};
    mostly_failed.resize(5000, Job{"in/x.json", "out/x.mjson", Failure{"OSError", "unreadable"}});
    settings.fail_fast = false;
    EXPECT_EQ(run_dataset(mostly_failed, settings, [](std::string_view) {}, fs).tally.converted, 1u);
  }
}

TEST(Report, LinesForTheUser) {
  EXPECT_EQ(
      failure_line("in/x.json", {"JsonParsingError", "failed to parse tenhou.net/6 log"}),
      "in/x.json: JsonParsingError: failed to parse tenhou.net/6 log\n");
  EXPECT_EQ(progress_line(0, 10, 0.0), "paifu: 0/10 files, 0 logs/s, -:-- left");
  EXPECT_EQ(progress_line(250, 1000, 2.0), "paifu: 250/1000 files, 125 logs/s, 0:06 left");
  EXPECT_EQ(progress_line(1, 100000, 1.0), "paifu: 1/100000 files, 1 logs/s, 27:46:39 left");
  const Tally tally{.converted = 90, .failed = 6, .skipped = 4, .bytes_in = 2500000, .bytes_out = 7250000};
  EXPECT_EQ(summary_line(tally, 100, 2.0, 0),
            "paifu: 90 converted, 6 failed, 4 skipped; 2.00 s, 48 logs/s; read 2.5 MB, wrote 7.2 MB\n");
  EXPECT_EQ(
      summary_line(tally, 130, 2.0, 15),
      "paifu: 90 converted, 6 failed, 4 skipped, 30 not started (stopped by SIGTERM); 2.00 s, 48 logs/s; "
      "read 2.5 MB, wrote 7.2 MB\n");
}

}  // namespace
}  // namespace paifu::cli
