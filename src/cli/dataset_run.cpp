#include "paifu/base/path_text.hpp"
#include "cli/dataset_run.hpp"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "cli/handoff.hpp"
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
  // Abandoned: taken, but a fail-fast run stopped before it was converted or written; it counts
  // as not started.
  enum class Kind { Converted, Failed, Skipped, Abandoned } kind = Kind::Converted;
  std::uint64_t bytes_in = 0;
  std::uint64_t bytes_out = 0;
  std::optional<Failure> failure;
};

Outcome failed(Failure failure, std::uint64_t bytes_in = 0) {
  return Outcome{Outcome::Kind::Failed, bytes_in, 0, std::move(failure)};
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

  const RunSettings& settings() const { return settings_; }
  const FileSystem& file_system() const { return fs_; }
  const Job& job(std::size_t index) const { return jobs_[index]; }

  // Takes the next job, unless the run stops or all are taken. While the window is full, waits,
  // calling `before_waiting` first (without the lock): the outcome awaited may be queued.
  template <class BeforeWaiting>
  std::optional<std::size_t> take_job(BeforeWaiting before_waiting) {
    std::unique_lock lock(mutex_);
    if (window_full()) {
      lock.unlock();
      before_waiting();
      lock.lock();
    }
    while (window_full()) room_.wait_for(lock, kWakeInterval);
    if (stopping() || next_ >= jobs_.size()) return std::nullopt;
    return next_++;
  }

  // Hands in the outcome of job `index`: every job taken gets exactly one.
  void deliver(std::size_t index, Outcome outcome) {
    const std::lock_guard lock(mutex_);
    const bool failure = outcome.kind == Outcome::Kind::Failed;
    if (failure && settings_.fail_fast) first_failure_ = std::min<std::size_t>(first_failure_, index);
    done_.emplace(index, std::move(outcome));
    // Waking the reporter for every log would cost more than some conversions.
    if (failure || done_.size() >= window() / 2) wake_reporter();
  }

  // A fail-fast run starts no log after its first failure: a job taken but not yet converted or
  // written when an earlier one fails is abandoned, as if it had not been started.
  bool abandoned(std::size_t index) const { return index > first_failure_.load(std::memory_order_relaxed); }

 private:
  bool stopped_for_failure() const { return first_failure_ != kNoFailure; }
  bool stopping() const { return stopped_for_failure() || stop_signal() != 0; }
  bool window_full() const { return !stopping() && next_ < jobs_.size() && next_ >= reported_ + window(); }

  void work(std::size_t index);

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
      case Outcome::Kind::Abandoned:
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
  static constexpr std::size_t kNoFailure = SIZE_MAX;
  // The first job that failed in a fail-fast run, which then stops; set under the lock.
  std::atomic<std::size_t> first_failure_ = kNoFailure;
  std::map<std::size_t, Outcome> done_;
};

// A log read and waiting to be converted.
struct ReadLog {
  std::size_t index;  // the job's
  std::string bytes;
};

// A log converted and waiting for its output to be written.
struct ConvertedLog {
  std::size_t index;
  conv::Lines lines;
  std::uint64_t bytes_in;
};

// An input buffer is kept for the next log unless it grew beyond real logs (tens of kilobytes).
bool worth_reusing(const std::string& buffer) { return buffer.capacity() <= std::size_t{1} << 20; }

// Batches of 64 logs (or a few megabytes), two batches at most in each queue.
constexpr HandoffLimits kInputLimits{64, std::size_t{1} << 20, 128, std::size_t{2} << 20};
constexpr HandoffLimits kOutputLimits{64, std::size_t{4} << 20, 128, std::size_t{8} << 20};

// One worker: reads a log, converts it and writes its output, with buffers and codecs reused
// from log to log. When the machine has cores to spare the three steps run in threads of their
// own, handing logs on in batches: on a memory file system reading a log and writing its output
// take the kernel nearly as long as the conversion, so the steps overlap well. A fault in any
// step fails that log alone; the run goes on.
class Worker {
 public:
  Worker(Run& run, std::size_t index, std::uint64_t seed)
      : run_(run),
        settings_(run.settings()),
        fs_(run.file_system()),
        slot_(index),
        writer_(settings_.write, slot_, fs_, seed),
        output_codec_(settings_.gzip_level) {}

  // Each log through all three steps in turn, in this thread.
  void run_in_turn() {
    std::string bytes;
    while (const auto index = run_.take_job([] {})) {
      auto read = read_in_barrier(*index, std::move(bytes));
      if (!read) continue;
      auto converted = convert_in_barrier(*read);
      if (worth_reusing(read->bytes)) bytes = std::move(read->bytes);
      if (converted) write_in_barrier(*converted);
    }
  }

  // Reading, converting and writing in three threads, this one converting. The buffers go back
  // to the thread that made them: the input's to the reader, the lines to this thread.
  void run_pipelined() {
    Handoff<ReadLog> inputs(kInputLimits);
    Handoff<ConvertedLog> outputs(kOutputLimits);
    ReturnBin<std::string> spent_inputs;
    ReturnBin<conv::Lines> spent_lines;
    std::jthread reader([&] {
      std::vector<std::string> spare;
      // Waiting for the window, the reader flushes: the log awaited may be one it has queued.
      while (const auto index = run_.take_job([&] { inputs.flush(); })) {
        if (spare.empty()) spent_inputs.take_all(spare);
        std::string bytes;
        if (!spare.empty()) {
          bytes = std::move(spare.back());
          spare.pop_back();
        }
        if (auto read = read_in_barrier(*index, std::move(bytes))) {
          const std::size_t size = read->bytes.size();
          hand_on(inputs, std::move(*read), size);
        }
      }
      inputs.close();
    });
    std::jthread writer([&] {
      while (auto converted = outputs.take([] {})) {
        write_in_barrier(*converted);
        spent_lines.put(std::move(converted->lines));
      }
    });
    std::vector<conv::Lines> lines_to_free;
    // Out of inputs for now, the converter flushes its outputs, so that none waits for long.
    while (auto read = inputs.take([&] { outputs.flush(); })) {
      auto converted = convert_in_barrier(*read);
      if (worth_reusing(read->bytes)) spent_inputs.put(std::move(read->bytes));
      if (converted) {
        const std::size_t bytes = converted->lines.text().size();
        hand_on(outputs, std::move(*converted), bytes);
      }
      spent_lines.take_all(lines_to_free);
    }
    outputs.close();
  }

 private:
  // Runs one step of log `index`, which gives what goes on to the next step or nothing; a fault
  // fails the log alone (and nothing goes on).
  template <class Step>
  auto in_barrier(std::size_t index, Step step) -> decltype(step()) {
    try {
      return step();
    } catch (...) {
      run_.deliver(index, failed(current_fault_failure()));
      return std::nullopt;
    }
  }

  // Handing a log on to the next step can fail too (out of memory, say).
  template <class Log>
  void hand_on(Handoff<Log>& next, Log log, std::size_t bytes) {
    const std::size_t index = log.index;
    in_barrier(index, [&] {
      next.give(std::move(log), bytes);
      return std::optional<bool>();
    });
  }

  std::optional<ReadLog> read_in_barrier(std::size_t index, std::string buffer) {
    return in_barrier(index, [&] { return read_log(index, std::move(buffer)); });
  }

  std::optional<ConvertedLog> convert_in_barrier(ReadLog& read) {
    return in_barrier(read.index, [&] { return convert_log(read); });
  }

  void write_in_barrier(const ConvertedLog& converted) {
    in_barrier(converted.index, [&] { return done(converted.index, write_output(converted)); });
  }

  // The log's bytes (in `buffer`, for its room), or nothing when its outcome is known without
  // converting it.
  std::optional<ReadLog> read_log(std::size_t index, std::string buffer) {
    const Job& job = run_.job(index);
    if (job.failure) return done(index, failed(*job.failure));
    if (settings_.skip_existing && exists(job.output)) return done(index, Outcome{Outcome::Kind::Skipped, 0, 0, {}});
    ReadLog read{index, std::move(buffer)};
    if (auto bytes = LogReader::read(job.input, *fs_.io, read.bytes); !bytes) {
      return done(index, failed(failure_of(bytes.error(), job)));
    }
    return read;
  }

  std::optional<ConvertedLog> convert_log(ReadLog& read) {
    if (run_.abandoned(read.index)) return done(read.index, Outcome{Outcome::Kind::Abandoned, 0, 0, {}});
    const Job& job = run_.job(read.index);
    const std::uint64_t bytes_in = read.bytes.size();
    auto lines = reader_.convert_bytes(job.input, read.bytes);
    if (!lines) return done(read.index, failed(failure_of(lines.error(), job), bytes_in));
    return ConvertedLog{read.index, std::move(*lines), bytes_in};
  }

  Outcome write_output(const ConvertedLog& converted) {
    if (run_.abandoned(converted.index)) return Outcome{Outcome::Kind::Abandoned, 0, 0, {}};
    const Job& job = run_.job(converted.index);
    const std::string_view bytes = encode_output(converted.lines);
    if (auto written = writer_.write(job.output, bytes); !written) {
      return failed(conversion_failure(written.error(), conv::FailurePaths{job.input, job.output}),
                    converted.bytes_in);
    }
    return Outcome{Outcome::Kind::Converted, converted.bytes_in, bytes.size(), {}};
  }

  // The output, compressed when asked: written with one call.
  std::string_view encode_output(const conv::Lines& lines) {
    if (!settings_.gzip) return lines.text();
    output_codec_.compress(lines.text(), compressed_);
    return compressed_;
  }

  bool exists(const std::string& path) const {
    struct stat status {};
    return fs_.io->stat(path.c_str(), &status) == 0;
  }

  static Failure failure_of(const Error& error, const Job& job) {
    return conversion_failure(error, conv::FailurePaths{job.input, job.output}, LogReader::format_of(job.input));
  }

  // Delivers the outcome of a log that goes no further.
  std::nullopt_t done(std::size_t index, Outcome outcome) {
    run_.deliver(index, std::move(outcome));
    return std::nullopt;
  }

  Run& run_;
  const RunSettings& settings_;
  const FileSystem& fs_;
  TemporarySlot slot_;
  AtomicWriter writer_;
  LogReader reader_;
  GzipCodec output_codec_;
  std::string compressed_;
};

void Run::work(std::size_t index) {
  {
    Worker worker(*this, index, seed_ + index * 0x9E3779B97F4A7C15u);
    if (settings_.pipelined) {
      worker.run_pipelined();
    } else {
      worker.run_in_turn();
    }
  }
  const std::lock_guard lock(mutex_);
  --active_;
  wake_reporter();
}

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
