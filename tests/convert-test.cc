#include "paifu/base/path_text.hpp"
#include "test_files.hpp"
#include "paifu/conv/convert.hpp"
#include "paifu/conv/failure_text.hpp"
#include "cli/failure.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "paifu/base/utf8.hpp"

namespace paifu::conv {
namespace {

namespace fs = std::filesystem;

const std::string kLabel(kTenhouLabel);
const std::string kParseFailure = "failed to parse " + kLabel + " log";

using testing::read_file;
using testing::TempDir;
using testing::write_file;

// The failure as the front ends report it.
std::string reported(const Error& error, const FailurePaths& paths = {}) {
  const cli::Failure failure = cli::conversion_failure(error, paths);
  return std::string(failure.class_name) + ": " + failure.message;
}

void expect_failure(const expected<Lines, Error>& result, std::string_view exception, const std::string& message,
                    const FailurePaths& paths = {}, const std::string& context = "") {
  ASSERT_FALSE(result.has_value()) << context;
  EXPECT_EQ(reported(result.error(), paths), std::string(exception) + ": " + message) << context;
}

// A game without kyokus: the reader alone decides it, no replay is involved.
constexpr std::string_view kEmptyGame = R"({"log":[],"name":["a","b","c","d"],"rule":{"disp":"般南喰赤","aka":1}})";
const std::vector<std::string> kEmptyGameLines = {
    R"({"type":"start_game","names":["a","b","c","d"],"kyoku_first":0,"aka_flag":true})", R"({"type":"end_game"})"};
const std::string kEmptyGameOutput = kEmptyGameLines[0] + "\n" + kEmptyGameLines[1] + "\n";

// One kyoku whose dealer "draws" a tsumogiri marker: the replay refuses it.
constexpr std::string_view kUnconvertibleGame =
    R"({"log":[[[0,0,0],[25000,25000,25000,25000],[11],[],)"
    R"([11,12,13,14,15,16,17,18,19,21,22,23,24],[60],[],)"
    R"([11,12,13,14,15,16,17,18,19,21,22,23,24],[],[],)"
    R"([31,32,33,34,35,36,37,38,39,21,22,23,24],[],[],)"
    R"([31,32,33,34,35,36,37,38,39,21,22,23,24],[],[],)"
    R"(["流局",[0,0,0,0]]]],"name":["a","b","c","d"],"rule":{"disp":"般南"}})";

TEST(ConvertPathForms, QuotedForm) {
  struct Case {
    std::string path;
    const char* quoted;
  };
  const Case cases[] = {
      {"logs/2019/a-b_c.json", R"("logs/2019/a-b_c.json")"},
      {"", R"("")"},
      {"a\"b\\c'd", R"("a\"b\\c\'d")"},
      {std::string("\t\r\n\0!", 5), R"("\t\r\n\0!")"},
      {"\x1b[0m\x7f \x01", R"("\u{1b}[0m\u{7f} \u{1}")"},
      {"e\xcc\x81", R"("e\u{301}")"},                          // combining acute accent
      {"\xef\xb8\x8f", R"("\u{fe0f}")"},                       // variation selector
      {"\xc2\xa0\xc2\xad\xe2\x80\xa8\xe2\x80\xa9", R"("\u{a0}\u{ad}\u{2028}\u{2029}")"},  // Zs Cf Zl Zp
      {"\xee\x80\x80\xcd\xb8\xf4\x8f\xbf\xbf", R"("\u{e000}\u{378}\u{10ffff}")"},          // Co Cn Cn
      {"\xc3\xa9\xe5\x92\x8c\xe4\xba\x86\xf0\x9f\x80\x84", "\"\xc3\xa9\xe5\x92\x8c\xe4\xba\x86\xf0\x9f\x80\x84\""},
      {"\xff", R"("\xFF")"},
      {"\xe3\x81" "A", R"("\xE3\x81A")"},
      {"\xed\xa0\x80", R"("\xED\xA0\x80")"},                   // a surrogate
      {"\xc0\xaf\xf4\x90\x80\x80", R"("\xC0\xAF\xF4\x90\x80\x80")"},
      {"\xf0\x9f\x80" "\xc3\xa9", R"("\xF0\x9F\x80é")"},
  };
  for (const Case& c : cases) EXPECT_EQ(quoted_path(c.path), c.quoted) << c.quoted;
}

TEST(ConvertPathForms, PlainFormReplacesEachIllFormedRunOnce) {
  struct Case {
    std::string path;
    std::string plain;
  };
  const std::string r = "\xef\xbf\xbd";  // U+FFFD
  const Case cases[] = {
      {"out/a\"b\\c'd\t.jsonl", "out/a\"b\\c'd\t.jsonl"},
      {"e\xcc\x81\xe5\x92\x8c", "e\xcc\x81\xe5\x92\x8c"},
      {"\xe3\x81" "A", r + "A"},
      {"\xff\xff", r + r},
      {"\xf0\x9f\x80" "x", r + "x"},
      {"\xed\xa0\x80", r + r + r},
      {"\xc0\xaf", r + r},
      {"\xf4\x90\x80\x80", r + r + r + r},
      {"a\xe3\x81", "a" + r},
  };
  for (const Case& c : cases) EXPECT_EQ(plain_path(c.path), c.plain) << c.plain;
}

TEST(ConvertUtf8, ValidatesAtEveryAlignment) {
  // Long enough that the 64-byte ASCII skip runs before and after the insert.
  const std::string ascii = std::string(70, ' ') + "{\"log\":[],\"name\":[\"abcdefgh\"]}" + std::string(70, ' ');
  struct Case {
    std::string insert;
    bool valid;
  };
  const Case cases[] = {{"\xc3\xa9", true},      {"\xf4\x8f\xbf\xbf", true}, {"\x7f", true},
                        {"\xff", false},          {"\x80", false},          {"\xc0\x80", false},
                        {"\xed\xa0\x80", false}, {"\xf4\x90\x80\x80", false}, {"\xe5\x92" "a", false}};
  for (const Case& c : cases) {
    for (std::size_t at = 0; at <= ascii.size(); ++at) {
      std::string text = ascii;
      text.insert(at, c.insert);
      EXPECT_EQ(utf8::is_valid(text), c.valid) << "at " << at << ": " << quoted_path(c.insert);
    }
  }
  EXPECT_TRUE(utf8::is_valid(""));
}

TEST(ConvertFile, OpenFailuresShowTheQuotedPath) {
  TempDir dir;
  const std::string missing = (dir / "missing.json").string();
  const std::string odd = (dir / "no \"such\" \\ file").string();
  const std::string cases[] = {missing, odd, std::string("a\0b", 3), "", (dir / "missing" / "x.json").string()};
  for (const std::string& path : cases) {
    expect_failure(convert_log_file(path, std::nullopt), "FileNotFoundError",
                   "failed to open " + kLabel + " log file " + quoted_path(path), {path, {}}, path);
  }
  // Built by append: g++ 12 warns falsely (-Wrestrict) on "literal" + std::string here.
  std::string odd_quoted = "\"";
  odd_quoted.append(dir.path().string()).append(R"(/no \"such\" \\ file")");
  EXPECT_EQ(quoted_path(odd), odd_quoted);
  // A directory opens, and then fails to read.
  expect_failure(convert_log_file(dir.path().string(), std::nullopt), "OSError",
                 "Is a directory (os error 21)");
}

TEST(ConvertFile, UnreadableFileIsReportedAsNotFound) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  TempDir dir;
  const fs::path path = dir / "locked.json";
  write_file(path, kEmptyGame);
  fs::permissions(path, fs::perms::none);
  expect_failure(convert_log_file(path.string(), std::nullopt), "FileNotFoundError",
                 "failed to open " + kLabel + " log file " + quoted_path(path.string()), {path.string(), {}});
}

// A stand-in for the system that serves a scripted file: each read returns the next chunk, or
// fails with the scripted errno.
struct ReadStep {
  std::string chunk;
  int error = 0;
};
struct FakeInput {
  std::deque<ReadStep> reads;
  off_t reported_size = 0;
  int opens = 0;
  int closes = 0;
};
FakeInput* fake_input = nullptr;

constexpr SystemCalls kFakeInputCalls{
    [](const char*, int, mode_t) {
      ++fake_input->opens;
      return 7;
    },
    [](int) {
      ++fake_input->closes;
      return 0;
    },
    [](int, void* data, size_t size) -> ssize_t {
      if (fake_input->reads.empty()) return 0;
      ReadStep& step = fake_input->reads.front();
      if (step.error != 0) {
        errno = step.error;
        fake_input->reads.pop_front();
        return -1;
      }
      const std::size_t n = std::min(size, step.chunk.size());
      std::memcpy(data, step.chunk.data(), n);
      step.chunk.erase(0, n);
      if (step.chunk.empty()) fake_input->reads.pop_front();
      return static_cast<ssize_t>(n);
    },
    [](int, const iovec*, int) -> ssize_t { return -1; },
    [](int, struct stat* status) {
      *status = {};
      status->st_size = fake_input->reported_size;
      return 0;
    },
    nullptr, nullptr, nullptr, nullptr, nullptr, [] { return true; }};

class ConvertRead : public ::testing::Test {
 protected:
  void SetUp() override { fake_input = &input_; }
  void TearDown() override { fake_input = nullptr; }
  FakeInput input_;
};

TEST_F(ConvertRead, ErrorKindChoosesTheClass) {
  struct Case {
    int error;
    const char* exception;
    const char* message;
  };
  const Case cases[] = {
      {ENOENT, "FileNotFoundError", "No such file or directory (os error 2)"},
      {EACCES, "PermissionError", "Permission denied (os error 13)"},
      {EPERM, "PermissionError", "Operation not permitted (os error 1)"},
      {ECONNREFUSED, "ConnectionRefusedError", "Connection refused (os error 111)"},
      {ECONNRESET, "ConnectionResetError", "Connection reset by peer (os error 104)"},
      {ECONNABORTED, "ConnectionAbortedError", "Software caused connection abort (os error 103)"},
      {EPIPE, "BrokenPipeError", "Broken pipe (os error 32)"},
      {EEXIST, "FileExistsError", "File exists (os error 17)"},
      {EAGAIN, "BlockingIOError", "Resource temporarily unavailable (os error 11)"},
      {ETIMEDOUT, "TimeoutError", "Connection timed out (os error 110)"},
      {EIO, "OSError", "Input/output error (os error 5)"},
  };
  for (const Case& c : cases) {
    input_ = FakeInput{};
    input_.reads = {{"{\"log\":"}, {"", c.error}};
    const auto result = convert_log_file("in.json", std::nullopt, kFakeInputCalls);
    ASSERT_FALSE(result.has_value()) << c.message;
    EXPECT_EQ(reported(result.error()), std::string(c.exception) + ": " + c.message);
    EXPECT_EQ(input_.closes, 1) << c.message;
  }
}

TEST_F(ConvertRead, ReadsInPiecesWhateverTheSizeHintAndRetriesInterruptions) {
  const std::string text(kEmptyGame);
  const off_t hints[] = {0, 1, static_cast<off_t>(text.size()), 1 << 20};
  for (const off_t hint : hints) {
    input_ = FakeInput{};
    input_.reported_size = hint;
    input_.reads = {{"", EINTR}, {text.substr(0, 5)}, {"", EINTR}, {text.substr(5, 20)}, {text.substr(25)}};
    EXPECT_EQ(convert_log_file("in.json", std::nullopt, kFakeInputCalls), kEmptyGameLines) << "hint " << hint;
    EXPECT_EQ(input_.opens, 1);
    EXPECT_EQ(input_.closes, 1);
  }
}

TEST(ConvertFile, FailedConversionsLeaveTheOutputAlone) {
  TempDir dir;
  const fs::path out = dir / "out.jsonl";
  const fs::path fresh = dir / "fresh.jsonl";
  struct Case {
    std::string content;
    const char* exception;
    std::string message;
  };
  const std::string game(kEmptyGame);
  const Case cases[] = {
      {game.substr(0, 30) + "\xff" + game.substr(30), "OSError", "stream did not contain valid UTF-8"},
      {"", "JsonParsingError", kParseFailure},
      {" \r\n", "JsonParsingError", kParseFailure},
      {"\xef\xbb\xbf" + game, "JsonParsingError", kParseFailure},
      {game + "\n}", "JsonParsingError", kParseFailure},
      {R"({"log":[],"name":["a","b","c","d"]})", "JsonParsingError", kParseFailure},
      {R"({"log":[],"name":["a","b","c","d"],"rule":{"disp":"三般東喰赤"}})", "TenhouLogParsingError",
       "invalid log"},
      {R"({"log":[],"name":["a","b","c","d"],"rule":{"disp":"3-Player East"}})",
       "TenhouLogParsingError", "invalid log"},
      {std::string(kUnconvertibleGame), "TenhouToMjaiError",
       "failed to convert " + kLabel + " log to mjai"},
  };
  for (const Case& c : cases) {
    const fs::path input = dir / "in.json";
    write_file(input, c.content);
    write_file(out, "old content\n");
    expect_failure(convert_log_file(input.string(), out.string()), c.exception, c.message, {}, c.content);
    EXPECT_EQ(read_file(out), "old content\n") << c.content;
    expect_failure(convert_log_file(input.string(), fresh.string()), c.exception, c.message, {}, c.content);
    EXPECT_FALSE(fs::exists(fresh)) << c.content;
  }
}

TEST(ConvertFile, WritesTheLinesItReturns) {
  TempDir dir;
  const fs::path input = dir / "in.json";
  write_file(input, kEmptyGame);
  const fs::path out = dir / "out.jsonl";
  write_file(out, std::string(4096, 'x'));

  const auto returned = convert_log_file(input.string(), out.string());
  ASSERT_TRUE(returned.has_value()) << reported(returned.error());
  EXPECT_EQ(*returned, kEmptyGameLines);
  EXPECT_EQ(read_file(out), kEmptyGameOutput);

  // The input is read whole before the output is created, so it may be its own output.
  ASSERT_TRUE(convert_log_file(input.string(), input.string()).has_value());
  EXPECT_EQ(read_file(input), kEmptyGameOutput);
}

TEST(ConvertFile, OutputFailures) {
  TempDir dir;
  const fs::path input = dir / "in.json";
  write_file(input, kEmptyGame);
  struct Case {
    std::string output;
    std::string message;
  };
  const std::string base = dir.path().string();
  const Case cases[] = {
      {"", "failed to create mjai out file "},
      {base, "failed to create mjai out file " + base},
      {base + "/none/a\"b\\c\xff\xfe.jsonl", "failed to create mjai out file " + base + "/none/a\"b\\c\xef\xbf\xbd\xef\xbf\xbd.jsonl"},
      {std::string("x\0y", 3), std::string("failed to create mjai out file x\0y", 34)},
  };
  for (const Case& c : cases) {
    expect_failure(convert_log_file(input.string(), c.output), "OSError", c.message, {{}, c.output}, c.output);
  }

  // A full disk, or a late error at close: the old file stays as it was, through a symbolic link
  // too, and no temporary is left beside it.
  SystemCalls failing_writes = real_system_calls();
  failing_writes.writev = [](int, const iovec*, int) -> ssize_t {
    errno = ENOSPC;
    return -1;
  };
  SystemCalls failing_closes = real_system_calls();
  failing_closes.close = [](int fd) {
    ::close(fd);
    errno = EIO;
    return -1;
  };
  TempDir out_dir;
  const fs::path out = out_dir / "full.jsonl";
  const fs::path link = out_dir / "link.jsonl";
  fs::create_symlink(out, link);
  for (const SystemCalls* sys : {&failing_writes, &failing_closes}) {
    for (const fs::path& target : {out, link}) {
      write_file(out, "old content\n");
      expect_failure(convert_log_file(input.string(), target.string(), *sys), "OSError",
                     "failed to write to mjai out file");
      EXPECT_EQ(read_file(out), "old content\n");
      EXPECT_EQ(std::distance(fs::directory_iterator(out_dir.path()), fs::directory_iterator()), 2);
    }
  }
  // A complete write replaces the file a link names, not the link.
  ASSERT_TRUE(convert_log_file(input.string(), link.string()).has_value());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(read_file(out), kEmptyGameOutput);
}

}  // namespace
}  // namespace paifu::conv
