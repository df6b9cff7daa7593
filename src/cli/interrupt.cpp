#include "cli/interrupt.hpp"

#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdint>

namespace paifu::cli {
namespace {

// The signals that ask a run to stop: an interrupt, a termination, a closed terminal, a quit.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// One worker's temporary, guarded by a sequence count: odd while the worker creates or
// forgets its temporary, even when the recorded path (possibly empty) is settled.
struct Slot {
  std::atomic<unsigned> sequence{0};
  std::atomic<char> path[PATH_MAX] = {};
};

static_assert(std::atomic<unsigned>::is_always_lock_free && std::atomic<int>::is_always_lock_free &&
              std::atomic<bool>::is_always_lock_free && std::atomic<char>::is_always_lock_free);

// How long a handler waits for a worker to settle its slot: a worker may be descheduled for
// a while on a busy machine, or slowed by a remote file system. Stop signals never run on a
// worker's thread (the workers block them), but a crash may hit a worker inside its own update,
// which must not wait forever on itself.
constexpr long kSettlePauseNanoseconds = 100'000;
constexpr unsigned kSettlePauses = 50'000;  // 5 s

std::atomic<int> g_stop_signal{0};
std::atomic<bool> g_ending{false};  // set by a handler about to end the process: no new temporary
Slot* g_slots = nullptr;            // never freed: handlers may read it until the process ends
std::size_t g_slot_count = 0;
// The slot of the worker running on this thread, if any; read by a crash handler running on it.
thread_local std::size_t t_own_slot = SIZE_MAX;

unsigned settled_sequence(const Slot& slot) {
  unsigned sequence = slot.sequence.load();
  for (unsigned pauses = 0; sequence % 2 != 0 && pauses < kSettlePauses; ++pauses) {
    const timespec pause{0, kSettlePauseNanoseconds};
    ::nanosleep(&pause, nullptr);  // async-signal-safe, unlike most ways to wait
    sequence = slot.sequence.load();
  }
  return sequence;
}

void copy_path(const Slot& slot, char (&copy)[PATH_MAX]) {
  std::size_t n = 0;
  for (; n + 1 < PATH_MAX; ++n) {
    copy[n] = slot.path[n].load(std::memory_order_relaxed);
    if (copy[n] == '\0') break;
  }
  copy[n] = '\0';
}

void remove_temporary(const Slot& slot) {
  const unsigned before = settled_sequence(slot);
  if (before % 2 != 0) return;
  char copy[PATH_MAX];
  copy_path(slot, copy);
  std::atomic_thread_fence(std::memory_order_acquire);
  if (copy[0] != '\0' && slot.sequence.load(std::memory_order_relaxed) == before) ::unlink(copy);
}

// The slot of a worker interrupted by its own crash cannot settle: the temporary it was about to
// create, or created, is removed as recorded (a torn name names nothing).
void remove_own_temporary(const Slot& slot) {
  char copy[PATH_MAX];
  copy_path(slot, copy);
  if (copy[0] != '\0') ::unlink(copy);
}

// Forbids new temporaries first, then removes the recorded ones: a worker that began creating
// one before the ban is waited for and its temporary removed; any later one sees the ban.
void remove_registered_temporaries() {
  g_ending.store(true);
  for (std::size_t i = 0; i < g_slot_count; ++i) {
    if (i == t_own_slot) {
      remove_own_temporary(g_slots[i]);
    } else {
      remove_temporary(g_slots[i]);
    }
  }
}

extern "C" void on_stop_signal(int signal_number) {
  int expected = 0;
  if (g_stop_signal.compare_exchange_strong(expected, signal_number)) return;
  // Asked twice: do not wait for the files in flight.
  remove_registered_temporaries();
  ::_exit(128 + signal_number);
}

extern "C" void on_crash_signal(int signal_number) {
  remove_registered_temporaries();
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

void install(int signal_number, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = handler == on_crash_signal ? SA_RESETHAND | SA_NODEFER : 0;
  ::sigaction(signal_number, &action, nullptr);
}

sigset_t stop_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : kStopSignals) sigaddset(&set, signal_number);
  return set;
}

void store_path(Slot& slot, std::string_view path) {
  if (path.size() >= PATH_MAX) path = {};  // the system refuses such paths anyway
  for (std::size_t i = 0; i < path.size(); ++i) slot.path[i].store(path[i], std::memory_order_relaxed);
  slot.path[path.size()].store('\0', std::memory_order_relaxed);
}

}  // namespace

void install_interrupt_handlers(std::size_t slots) {
  if (g_slots == nullptr || slots > g_slot_count) {
    g_slots = new Slot[slots];  // NOLINT: lives as long as the process
    g_slot_count = slots;
  }
  for (int signal_number : kStopSignals) install(signal_number, on_stop_signal);
  for (int signal_number : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
    install(signal_number, on_crash_signal);
  ::signal(SIGPIPE, SIG_IGN);
}

int stop_signal() { return g_stop_signal.load(std::memory_order_acquire); }

StopSignalsBlocked::StopSignalsBlocked() {
  const sigset_t set = stop_signals();
  pthread_sigmask(SIG_BLOCK, &set, &previous_);
}

StopSignalsBlocked::~StopSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

bool TemporarySlot::begin() const {
  if (index_ >= g_slot_count) return !g_ending.load();
  t_own_slot = index_;
  Slot& slot = g_slots[index_];
  slot.sequence.fetch_add(1);  // odd: busy
  if (!g_ending.load()) return true;
  slot.sequence.fetch_add(1);
  return false;
}

void TemporarySlot::expect(std::string_view path) const {
  if (index_ < g_slot_count) store_path(g_slots[index_], path);
}

void TemporarySlot::hold(std::string_view path) const {
  if (index_ >= g_slot_count) return;
  Slot& slot = g_slots[index_];
  store_path(slot, path);
  slot.sequence.fetch_add(1, std::memory_order_release);  // even: settled
}

void TemporarySlot::release() const {
  if (index_ >= g_slot_count) return;
  Slot& slot = g_slots[index_];
  slot.sequence.fetch_add(1);
  store_path(slot, {});
  slot.sequence.fetch_add(1, std::memory_order_release);
}

}  // namespace paifu::cli
