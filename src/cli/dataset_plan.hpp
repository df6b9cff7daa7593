// Which logs a run converts, and where each one's mjai file goes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/file_system.hpp"
#include "cli/failure.hpp"

namespace paifu::cli {

struct Job {
  std::string input;
  std::string output;
  // Set when the log cannot be converted whatever it holds: an unreadable directory, or an
  // output another log of the run already claims.
  std::optional<Failure> failure;
};

// A log found in a directory: "*.json", or "*.json.gz" read through gzip; an mjlog "*.mjlog"
// or "*.xml", or either with ".gz" (read through gzip when it begins as gzip does).
bool is_log_name(std::string_view name);

// The mjai file's name for a log's: its log suffix (".json", ".json.gz", ".mjlog", ".xml.gz",
// ...) becomes ".mjson", or ".mjson.gz" with `gzip`; any other name gains the suffix. So outputs never look like logs, and a run
// whose output lies inside its input never takes its own outputs for logs.
std::string output_name(std::string_view log_name, bool gzip);

// The jobs for the inputs, in order: a directory contributes every log below it (in byte order
// of names, depth first, not following links to directories), its output at the same relative
// path under `output_dir`; anything else is a log whose output lands at `output_dir` under its
// own name. A missing input is kept as a log, so its conversion reports it.
std::vector<Job> plan_jobs(const std::vector<std::string>& inputs, std::string_view output_dir, bool gzip,
                           const FileSystem& fs = real_file_system());

}  // namespace paifu::cli
