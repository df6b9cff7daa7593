#include "paifu/base/path_text.hpp"
#include "cli/dataset_run.hpp"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "cli/log_reader.hpp"
#include "cli/interrupt.hpp"

namespace paifu::cli {
namespace {

using Clock = std::chrono::steady_clock;

// The reporting thread wakes this often (to redraw the progress line and notice signals), or
// sooner when a worker has a failure to report, ends, or fills half of the window.
constexpr auto kWakeInterval = std::chrono::milliseconds(100);
// Jobs a worker may run ahead of the last one reported: room for a tenth of a second of fast
// logs, a few hundred kilobytes of outcomes at most.
constexpr std::size_t kWindowPerWorker = 1024;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Outcome {
  enum class Kind { Converted, Failed, Skipped } kind = Kind::Converted;
  std::uint64_t bytes_in = 0;
  std::uint64_t bytes_out = 0;
  std::optional<Failure> failure;
};

Outcome failed(Failure failure, std::uint64_t bytes_in = 0) {
  return Outcome{Outcome::Kind::Failed, bytes_in, 0, std::move(failure)};
}

// One worker's buffers and codec, reused from file to file.
class LogWorker {
 public:
  LogWorker(const RunSettings& settings, const FileSystem& fs, std::size_t index, std::uint64_t seed)
      : settings_(settings),
        fs_(fs),
        slot_(index),
        writer_(settings.write, slot_, fs, seed),
        reader_(settings.gzip_level) {}

  Outcome handle(const Job& job) {
    if (job.failure) return failed(*job.failure);
    if (settings_.skip_existing && exists(job.output)) return Outcome{Outcome::Kind::Skipped, 0, 0, {}};
    const conv::FailurePaths paths{job.input, job.output};
    auto lines = reader_.convert(job.input, *fs_.io);
    const std::uint64_t bytes_in = reader_.bytes_read();
    if (!lines) return failed(conversion_failure(lines.error(), paths, LogReader::format_of(job.input)), bytes_in);
    const std::string_view bytes = encode_output(*lines);
    if (auto written = writer_.write(job.output, bytes); !written) {
      return failed(conversion_failure(written.error(), paths), bytes_in);
    }
    return Outcome{Outcome::Kind::Converted, bytes_in, bytes.size(), {}};
  }

 private:
  bool exists(const std::string& path) const {
    struct stat status {};
    return fs_.io->stat(path.c_str(), &status) == 0;
  }

  // The output, compressed when asked: written with one call.
  std::string_view encode_output(const conv::Lines& lines) {
    if (!settings_.gzip) return lines.text();
    reader_.codec().compress(lines.text(), compressed_);
    return compressed_;
  }

  const RunSettings& settings_;
  const FileSystem& fs_;
  TemporarySlot slot_;
  AtomicWriter writer_;
  LogReader reader_;
  std::string compressed_;
};

// A fault while converting one log fails that log alone; the run goes on.
Outcome handle_in_barrier(LogWorker& worker, const Job& job) {
  try {
    return worker.handle(job);
  } catch (...) {
    return failed(current_fault_failure());
  }
}

class Run {
 public:
  Run(const std::vector<Job>& jobs, const RunSettings& settings, const ReportSink& report,
      const FileSystem& fs)
      : jobs_(jobs), settings_(settings), report_(report), fs_(fs) {}

  RunResult execute() {
    const std::size_t workers = std::max<std::size_t>(1, std::min(settings_.workers, jobs_.size()));
    active_ = workers;
    std::vector<std::jthread> threads;
    threads.reserve(workers);
    {
      const StopSignalsBlocked only_this_thread_handles_them;
      for (std::size_t i = 0; i < workers; ++i) threads.emplace_back([this, i] { work(i); });
    }
    report_in_order();
    threads.clear();  // joins
    result_.total = jobs_.size();
    result_.seconds = seconds_since(start_);
    result_.stop_signal = stop_signal();
    report_(summary_line(result_.tally, result_.total, result_.seconds, result_.stop_signal));
    return result_;
  }

 private:
  bool stopping() const { return stopped_ || stop_signal() != 0; }

  // Takes the next job, unless the run stops, all are taken, or the window is full.
  std::optional<std::size_t> take_job() {
    std::unique_lock lock(mutex_);
    while (!stopping() && next_ < jobs_.size() && next_ >= reported_ + window()) {
      room_.wait_for(lock, kWakeInterval);
    }
    if (stopping() || next_ >= jobs_.size()) return std::nullopt;
    return next_++;
  }

  void work(std::size_t index) {
    LogWorker worker(settings_, fs_, index, seed_ + index * 0x9E3779B97F4A7C15u);
    while (const auto job = take_job()) {
      Outcome outcome = handle_in_barrier(worker, jobs_[*job]);
      const std::lock_guard lock(mutex_);
      const bool failure = outcome.kind == Outcome::Kind::Failed;
      if (failure && settings_.fail_fast) stopped_ = true;
      done_.emplace(*job, std::move(outcome));
      // Waking the reporter for every log would cost more than some conversions.
      if (failure || done_.size() >= window() / 2) wake_reporter();
    }
    const std::lock_guard lock(mutex_);
    --active_;
    wake_reporter();
  }

  std::size_t window() const { return kWindowPerWorker * settings_.workers; }

  // Under the lock.
  void wake_reporter() {
    wake_ = true;
    finished_.notify_one();
  }

  // The outcomes that follow the last reported one without a gap; true once every worker ended.
  bool collect(std::vector<std::pair<std::size_t, Outcome>>& ready) {
    std::unique_lock lock(mutex_);
    finished_.wait_for(lock, kWakeInterval, [&] { return wake_ || active_ == 0; });
    wake_ = false;
    for (auto it = done_.begin(); it != done_.end() && it->first == reported_; it = done_.erase(it)) {
      ready.emplace_back(it->first, std::move(it->second));
      ++reported_;
    }
    room_.notify_all();
    return active_ == 0 && done_.empty();
  }

  void report_in_order() {
    draw_progress(true);
    std::vector<std::pair<std::size_t, Outcome>> ready;
    for (bool all_done = false; !all_done;) {
      ready.clear();
      all_done = collect(ready);
      for (auto& [index, outcome] : ready) record(jobs_[index], outcome);
      draw_progress(all_done);
    }
    if (settings_.progress) report_("\r\033[K");
  }

  void record(const Job& job, const Outcome& outcome) {
    Tally& tally = result_.tally;
    tally.bytes_in += outcome.bytes_in;
    tally.bytes_out += outcome.bytes_out;
    switch (outcome.kind) {
      case Outcome::Kind::Converted:
        ++tally.converted;
        break;
      case Outcome::Kind::Skipped:
        ++tally.skipped;
        break;
      case Outcome::Kind::Failed:
        ++tally.failed;
        if (settings_.progress) report_("\r\033[K");
        report_(failure_line(job.input, *outcome.failure));
        last_draw_ = {};  // the line was cleared: redraw it now
        break;
    }
  }

  void draw_progress(bool now) {
    if (!settings_.progress) return;
    const auto time = Clock::now();
    if (!now && time - last_draw_ < kWakeInterval) return;
    last_draw_ = time;
    std::string line = "\r";  // built in steps: "\r" + string trips a false -Wrestrict in g++ 12
    line += progress_line(result_.tally.done(), jobs_.size(), seconds_since(start_));
    line += "\033[K";
    report_(line);
  }

  const std::vector<Job>& jobs_;
  const RunSettings& settings_;
  const ReportSink& report_;
  const FileSystem& fs_;
  const Clock::time_point start_ = Clock::now();
  // Seeds the temporaries' names: different for every run and worker.
  const std::uint64_t seed_ = static_cast<std::uint64_t>(start_.time_since_epoch().count()) ^
                              static_cast<std::uint64_t>(::getpid()) << 32;
  Clock::time_point last_draw_{};
  RunResult result_;

  std::mutex mutex_;
  std::condition_variable room_;      // a job may be taken
  std::condition_variable finished_;  // the reporter has something to do: see wake_reporter
  bool wake_ = false;
  std::size_t next_ = 0;      // the next job to take
  std::size_t reported_ = 0;  // jobs before this one are reported
  std::size_t active_ = 0;    // workers still running
  bool stopped_ = false;      // a failure ended a fail-fast run
  std::map<std::size_t, Outcome> done_;
};

}  // namespace

RunResult run_dataset(const std::vector<Job>& jobs, const RunSettings& settings, const ReportSink& report,
                      const FileSystem& fs) {
  return Run(jobs, settings, report, fs).execute();
}

int exit_status(const RunResult& result) {
  if (result.stop_signal != 0) return 128 + result.stop_signal;
  return result.tally.failed > 0 ? 1 : 0;
}

}  // namespace paifu::cli
