// The progress line: drawn on standard error when it is a terminal (here a pseudo-terminal),
// absent otherwise.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>

#include "command_runner.hpp"
#include "test_files.hpp"

namespace paifu {
namespace {

namespace fs = std::filesystem;

using testing::TempDir;

// Runs paifu with the terminal side of a pseudo-terminal as its standard streams; returns what
// it wrote there and its exit status, or nothing when the system has no pseudo-terminals.
std::optional<std::pair<std::string, int>> run_on_terminal(const std::vector<std::string>& args) {
  std::vector<std::string> argv_strings = {PAIFU_EXE};
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_strings) argv.push_back(arg.data());
  argv.push_back(nullptr);

  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid < 0) return std::nullopt;
  if (pid == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  std::string seen;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(terminal, buffer, sizeof buffer);
    if (got > 0) {
      seen.append(buffer, static_cast<std::size_t>(got));
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // EIO once the program has ended and closed its side
    }
  }
  close(terminal);
  return std::make_pair(seen, testing::wait_for_exit(pid));
}

TEST(Progress, UpdatesOneLineOnATerminalOnly) {
  const TempDir dir;
  fs::create_directories(dir / "in");
  std::size_t count = 0;
  for (const auto& log : testing::real_logs()) {
    fs::copy_file(log, dir / "in" / (std::to_string(count++) + ".json"));
  }
  const std::string total = std::to_string(count);

  const auto on_terminal = run_on_terminal({(dir / "in").string(), "-o", (dir / "tty").string()});
  if (!on_terminal) GTEST_SKIP() << "no pseudo-terminal available";
  const auto& [seen, status] = *on_terminal;
  EXPECT_EQ(status, 0) << seen;
  EXPECT_NE(seen.find("\rpaifu: 0/" + total + " files, "), std::string::npos) << seen;
  EXPECT_NE(seen.find(" left\033[K"), std::string::npos) << seen;
  EXPECT_NE(seen.find("\r\033[Kpaifu: " + total + " converted, 0 failed"), std::string::npos)
      << seen;  // cleared first

  const auto piped = testing::run_paifu({(dir / "in").string(), "-o", (dir / "pipe").string()});
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.err.find('\r'), std::string::npos) << piped.err;
  EXPECT_EQ(piped.err.find(" left"), std::string::npos) << piped.err;
  EXPECT_TRUE(piped.err.starts_with("paifu: " + total + " converted, 0 failed")) << piped.err;
}

}  // namespace
}  // namespace paifu
