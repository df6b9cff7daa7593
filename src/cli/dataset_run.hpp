// Converting a planned set of logs with a pool of workers, each taking whole files in order.
// At most a window of files beyond the last one reported is in flight, so memory stays bounded
// by the files being converted whatever the dataset's size; outcomes are reported in the
// order of the jobs, so the messages are the same whatever the number of workers.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

#include "cli/atomic_output.hpp"
#include "cli/dataset_plan.hpp"
#include "cli/file_system.hpp"
#include "cli/report.hpp"

namespace paifu::cli {

struct RunSettings {
  std::size_t workers = 1;
  bool gzip = false;  // compress the outputs
  int gzip_level = 6;
  bool skip_existing = false;  // an existing output is complete: leave it, count the log skipped
  bool fail_fast = false;      // start no log after the first failure
  bool progress = false;       // keep a progress line updated
  // Each worker reads, converts and writes in three threads: worth it when cores are spare.
  bool pipelined = false;
  WriteSettings write;
};

struct RunResult {
  Tally tally;
  std::size_t total = 0;
  double seconds = 0;
  int stop_signal = 0;  // the signal that stopped the run, or 0
};

// Receives every message of the run (failure lines, progress redraws, the summary).
using ReportSink = std::function<void(std::string_view)>;

RunResult run_dataset(const std::vector<Job>& jobs, const RunSettings& settings, const ReportSink& report,
                      const FileSystem& fs = real_file_system());

// 128 + the signal when stopped by one, 1 when any log failed, else 0.
int exit_status(const RunResult& result);

}  // namespace paifu::cli
