// What a run tells its user on standard error: failures, the progress line, the summary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cli/failure.hpp"

namespace paifu::cli {

struct Tally {
  std::size_t converted = 0;
  std::size_t failed = 0;
  std::size_t skipped = 0;
  std::uint64_t bytes_in = 0;   // as read, compressed or not
  std::uint64_t bytes_out = 0;  // as written
  std::size_t done() const { return converted + failed + skipped; }
};

// "PATH: ClassName: message", with its line feed.
std::string failure_line(std::string_view path, const Failure& failure);

// "paifu: 120/2000 files, 850 logs/s, 0:02 left": done of total, the rate so far and the time
// the rest takes at that rate. No line feed: the caller rewrites it in place.
std::string progress_line(std::size_t done, std::size_t total, double seconds);

// Counts by outcome, the logs not started when the run stopped early, the time and rate (of
// logs converted or failed, skips being free), and the bytes read and written; with its line
// feed. `stop_signal` is the signal that stopped the run, or 0.
std::string summary_line(const Tally& tally, std::size_t total, double seconds, int stop_signal);

}  // namespace paifu::cli
