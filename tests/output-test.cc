#include "test_files.hpp"
#include "paifu/conv/output.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace paifu::conv {
namespace {

namespace fs = std::filesystem;

using testing::read_file;
using testing::TempDir;

// A scripted system: each write takes the next step (a full write once the script runs out)
// and lands in `written`.
struct WriteStep {
  std::size_t limit = SIZE_MAX;  // at most this many bytes
  int error = 0;                 // or fail with this errno
};
constexpr WriteStep kEintr{0, EINTR};

struct FakeSystem {
  static constexpr int kFileFd = 42;
  std::vector<std::string> opened;
  int flags = 0;
  mode_t mode = 0;
  std::vector<int> closed;
  std::vector<int> write_fds;
  std::string written;
  std::deque<WriteStep> script;
  std::vector<std::string> renamed;  // "from>to"
  std::vector<std::string> unlinked;
};
FakeSystem* fake = nullptr;

constexpr SystemCalls kFakeCalls{
    [](const char* path, int flags, mode_t mode) {
      fake->opened.emplace_back(path);
      fake->flags = flags;
      fake->mode = mode;
      return FakeSystem::kFileFd;
    },
    [](int fd) {
      fake->closed.push_back(fd);
      return 0;
    },
    [](int, void*, size_t) -> ssize_t { return 0; },
    [](int fd, const iovec* parts, int count) -> ssize_t {
      fake->write_fds.push_back(fd);
      WriteStep step;
      if (!fake->script.empty()) {
        step = fake->script.front();
        fake->script.pop_front();
      }
      if (step.error != 0) {
        errno = step.error;
        return -1;
      }
      std::size_t done = 0;
      for (int i = 0; i < count && done < step.limit; ++i) {
        const std::size_t n = std::min(parts[i].iov_len, step.limit - done);
        fake->written.append(static_cast<const char*>(parts[i].iov_base), n);
        done += n;
      }
      return static_cast<ssize_t>(done);
    },
    [](int, struct stat*) { return -1; },
    [](const char*, struct stat*) { return errno = ENOENT, -1; },  // every file is new
    [](const char*, struct stat*) { return errno = ENOENT, -1; },
    [](const char* from, const char* to) {
      fake->renamed.push_back(std::string(from) + ">" + to);
      return 0;
    },
    [](const char* path) {
      fake->unlinked.emplace_back(path);
      return 0;
    },
    [](const char*, char*) -> char* { return nullptr; },
    [] { return true; }};

const mjai::Lines kLines(std::vector<std::string>{R"({"type":"start_game"})", R"({"type":"end_kyoku"})",
                                                   R"({"type":"end_game"})"});
const std::string kFirstLine = "{\"type\":\"start_game\"}\n";
const std::string kExpected = kFirstLine + "{\"type\":\"end_kyoku\"}\n{\"type\":\"end_game\"}\n";

class OutputSink : public ::testing::Test {
 protected:
  void SetUp() override { fake = &system_; }
  void TearDown() override { fake = nullptr; }
  FakeSystem system_;
};

TEST(OutputStdoutPath, ComparesComponentByComponent) {
  const char* stdout_paths[] = {"-", "-/", "-//", "-/.", "-/./", "-/././/."};
  const char* file_paths[] = {"./-", "/-", "--", "", "-a", "-/..", "-/x", "-/.x", ".", "a/-", " -"};
  for (const char* path : stdout_paths) EXPECT_TRUE(is_stdout_path(path)) << '"' << path << '"';
  for (const char* path : file_paths) EXPECT_FALSE(is_stdout_path(path)) << '"' << path << '"';
}

TEST_F(OutputSink, CompletesEveryWrite) {
  struct Case {
    const char* path;
    std::deque<WriteStep> script;
  };
  const Case cases[] = {
      {"out", {}},
      {"out", {kEintr, kEintr, {}, kEintr}},
      {"out", std::deque<WriteStep>(80, WriteStep{1})},
      {"out", {{21}, {21}}},  // a line without its feed
      {"out", {{5}, kEintr, {17}}},
      {"-", {}},
      {"-/.", {{5}, kEintr, {17}}},
  };
  for (const Case& c : cases) {
    system_ = FakeSystem{};
    system_.script = c.script;
    ASSERT_TRUE(deliver_lines(kLines, c.path, kFakeCalls).has_value()) << c.path << c.script.size();
    EXPECT_EQ(system_.written, kExpected) << c.path << c.script.size();
    if (std::string_view(c.path) == "out") {  // a temporary beside it, renamed into place
      ASSERT_EQ(system_.opened.size(), 1u);
      EXPECT_TRUE(system_.opened[0].starts_with(".out.tmp.")) << system_.opened[0];
      EXPECT_EQ(system_.flags, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC);
      EXPECT_EQ(system_.mode, 0666u);
      EXPECT_EQ(system_.closed, std::vector<int>{FakeSystem::kFileFd});
      EXPECT_EQ(system_.renamed, std::vector<std::string>{system_.opened[0] + ">out"});
    } else {  // standard output: fd 1, never opened or closed
      EXPECT_TRUE(system_.opened.empty());
      EXPECT_TRUE(system_.closed.empty());
      EXPECT_TRUE(std::ranges::all_of(system_.write_fds, [](int fd) { return fd == 1; }));
      if (c.script.empty()) {
        EXPECT_EQ(system_.write_fds.size(), 1u) << "all lines in one write";
      }
    }
  }
}

TEST_F(OutputSink, FirstFailedWriteEndsDelivery) {
  struct Case {
    const char* path;
    std::deque<WriteStep> script;
    std::string written;
  };
  const Case cases[] = {
      {"out", {{0, ENOSPC}}, ""},
      {"out", {{22}, {0, ENOSPC}}, kFirstLine},  // all lines are asked for in one write
      {"out", {{22}, {4}, {0, EPIPE}}, kFirstLine + "{\"ty"},
      {"out", {{0}}, ""},  // a write that makes no progress
      {"-", {{22}, {0, EBADF}}, kFirstLine},
  };
  for (const Case& c : cases) {
    system_ = FakeSystem{};
    system_.script = c.script;
    const auto result = deliver_lines(kLines, c.path, kFakeCalls);
    ASSERT_FALSE(result.has_value()) << c.written;
    EXPECT_EQ(result.error().stage, Stage::Write);
    EXPECT_EQ(system_.written, c.written);
    EXPECT_TRUE(system_.renamed.empty());
    EXPECT_EQ(system_.unlinked, system_.opened) << "the temporary is removed";
    EXPECT_EQ(system_.write_fds.size(), c.script.size()) << "wrote after the failure";
    EXPECT_EQ(system_.closed.size(), c.path == std::string("-") ? 0u : 1u);
  }
}

TEST(OutputFile, CreatesOrTruncates) {
  TempDir dir;
  const fs::path path = dir.path() / "-";
  { std::ofstream(path) << std::string(1000, 'x') << "\n"; }
  const fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  const bool delivered = deliver_lines(kLines, "./-").has_value();
  fs::current_path(previous);
  ASSERT_TRUE(delivered);
  EXPECT_EQ(read_file(path), kExpected);
  ASSERT_TRUE(deliver_lines({}, path.string()).has_value());
  EXPECT_EQ(read_file(path), "");
}

TEST(OutputFile, CreateFailures) {
  TempDir dir;
  const std::string cases[] = {(dir.path() / "missing" / "out").string(), dir.path().string(), "",
                               (dir.path() / "out").string() + std::string("\0x", 2)};
  for (const std::string& path : cases) {
    const auto result = deliver_lines(kLines, path);
    ASSERT_FALSE(result.has_value()) << path;
    EXPECT_EQ(result.error().stage, Stage::Create) << path;
  }
  EXPECT_TRUE(fs::is_empty(dir.path()));  // in particular no "out" cut at the NUL byte
}

}  // namespace
}  // namespace paifu::conv
