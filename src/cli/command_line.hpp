// The command's arguments.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace paifu::cli {

struct Command {
  std::vector<std::string> inputs;
  std::optional<std::string> output_dir;  // absent: one log, the old INPUT [OUTPUT] form
  std::size_t jobs = 1;
  bool gzip = false;
  int gzip_level = 6;
  bool skip_existing = false;
  bool fail_fast = false;
  bool fsync = false;
};

// Exit statuses of the command.
inline constexpr int kExitConverted = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Parses the arguments. Returns the status to exit with at once instead of a command after
// --help (0, the help written to `out`) or on a usage error (2, the error written to `err`).
std::variant<Command, int> parse_command_line(int argc, const char* const* argv, std::ostream& out,
                                              std::ostream& err);

}  // namespace paifu::cli
