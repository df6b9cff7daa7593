// Stopping a run cleanly. SIGINT, SIGTERM, SIGHUP and SIGQUIT ask the run to stop: no new file is started, the
// files in flight finish, and the process exits with 128 + the signal's number. A second such
// signal, or a crash (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT), removes the temporaries still
// registered and ends the process at once. Either way no partial output is left behind.
#pragma once

#include <signal.h>

#include <cstddef>
#include <string_view>

namespace paifu::cli {

// Installs the handlers, with room for `slots` temporaries in flight (one per worker), and
// ignores SIGPIPE so a closed standard error cannot kill the run mid-write.
void install_interrupt_handlers(std::size_t slots);

// The signal that asked the run to stop, or 0.
int stop_signal();

// Blocks the stop signals in this thread while alive. Threads started meanwhile keep the
// block, so the stop signals are handled by the starting thread alone, never by a worker
// in the middle of recording its temporary.
class StopSignalsBlocked {
 public:
  StopSignalsBlocked();
  StopSignalsBlocked(const StopSignalsBlocked&) = delete;
  StopSignalsBlocked& operator=(const StopSignalsBlocked&) = delete;
  ~StopSignalsBlocked();

 private:
  sigset_t previous_;
};

// One worker's record of the temporary file it is writing, seen by the signal handlers.
// Slot `index` must be below the count given to install_interrupt_handlers to be seen.
class TemporarySlot {
 public:
  explicit TemporarySlot(std::size_t index) : index_(index) {}
  // Call before creating a temporary: false when the process is ending and none may be made.
  bool begin() const;
  // Records the name of the temporary about to be created (each attempt), for a crash meanwhile.
  void expect(std::string_view path) const;
  // Records the temporary created since begin() (an empty path: none was).
  void hold(std::string_view path) const;
  // Forgets the temporary: renamed into place or removed.
  void release() const;

 private:
  std::size_t index_;
};

}  // namespace paifu::cli
