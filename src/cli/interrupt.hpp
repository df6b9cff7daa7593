// Stopping a run cleanly. SIGINT and SIGTERM ask the run to stop: no new file is started, the
// files in flight finish, and the process exits with 128 + the signal's number. A second such
// signal, or a crash (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT), removes the temporaries still
// registered and ends the process at once. Either way no partial output is left behind.
#pragma once

#include <cstddef>
#include <string_view>

namespace paifu::cli {

// Installs the handlers, with room for `slots` temporaries in flight (one per worker), and
// ignores SIGPIPE so a closed standard error cannot kill the run mid-write.
void install_interrupt_handlers(std::size_t slots);

// The signal that asked the run to stop, or 0.
int stop_signal();

// Asks the run to stop as SIGINT or SIGTERM would; for tests.
void request_stop(int signal_number);

// One worker's record of the temporary file it is writing, seen by the signal handlers.
// Paths longer than the slot are not recorded; the system refuses such paths anyway.
class TemporarySlot {
 public:
  explicit TemporarySlot(std::size_t index) : index_(index) {}
  void hold(std::string_view path) const;
  void release() const;

 private:
  std::size_t index_;
};

}  // namespace paifu::cli
