// Running the paifu executable from tests, its standard output and error captured in files.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_files.hpp"

extern char** environ;

namespace paifu::testing {

struct CommandResult {
  int status;  // the exit status, or 128 + the signal that ended the process
  std::string out;
  std::string err;
};

// Starts paifu with `args`, standard output and error going to the two files.
inline pid_t spawn_paifu(const std::vector<std::string>& args, const fs::path& out, const fs::path& err) {
  std::vector<std::string> argv_strings = {PAIFU_EXE};
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_strings) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

inline int wait_for_exit(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

// Runs paifu to its end.
inline CommandResult run_paifu(const std::vector<std::string>& args) {
  const TempDir capture;
  const pid_t pid = spawn_paifu(args, capture / "out", capture / "err");
  if (pid < 0) return {-1, "", "could not start " PAIFU_EXE};
  const int status = wait_for_exit(pid);
  return {status, read_file(capture / "out"), read_file(capture / "err")};
}

}  // namespace paifu::testing
