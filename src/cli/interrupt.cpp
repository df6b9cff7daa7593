#include "cli/interrupt.hpp"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <memory>

namespace paifu::cli {
namespace {

// A sequence lock per slot: the owner makes the count odd while it changes the path, so a
// handler that interrupts it (or runs on another thread) can tell a torn read and skip it.
struct Slot {
  std::atomic<unsigned> sequence{0};
  std::atomic<char> path[PATH_MAX] = {};
};

static_assert(std::atomic<unsigned>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

std::atomic<int> g_stop_signal{0};
Slot* g_slots = nullptr;  // never freed: handlers may read it until the process ends
std::size_t g_slot_count = 0;

void remove_registered_temporaries() {
  for (std::size_t i = 0; i < g_slot_count; ++i) {
    Slot& slot = g_slots[i];
    const unsigned before = slot.sequence.load(std::memory_order_acquire);
    if (before % 2 != 0) continue;
    char copy[PATH_MAX];
    std::size_t n = 0;
    for (; n + 1 < PATH_MAX; ++n) {
      copy[n] = slot.path[n].load(std::memory_order_relaxed);
      if (copy[n] == '\0') break;
    }
    copy[n] = '\0';
    std::atomic_thread_fence(std::memory_order_acquire);
    if (copy[0] == '\0') continue;
    if (slot.sequence.load(std::memory_order_relaxed) == before) ::unlink(copy);
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

}  // namespace

void install_interrupt_handlers(std::size_t slots) {
  if (g_slots == nullptr || slots > g_slot_count) {
    g_slots = new Slot[slots];  // NOLINT: lives as long as the process
    g_slot_count = slots;
  }
  for (int signal_number : {SIGINT, SIGTERM}) install(signal_number, on_stop_signal);
  for (int signal_number : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) install(signal_number, on_crash_signal);
  ::signal(SIGPIPE, SIG_IGN);
}

int stop_signal() { return g_stop_signal.load(std::memory_order_acquire); }

void request_stop(int signal_number) {
  int expected = 0;
  g_stop_signal.compare_exchange_strong(expected, signal_number);
}

void TemporarySlot::hold(std::string_view path) const {
  if (index_ >= g_slot_count || path.size() >= PATH_MAX) return;
  Slot& slot = g_slots[index_];
  slot.sequence.fetch_add(1, std::memory_order_acq_rel);
  std::atomic_thread_fence(std::memory_order_release);
  for (std::size_t i = 0; i < path.size(); ++i) slot.path[i].store(path[i], std::memory_order_relaxed);
  slot.path[path.size()].store('\0', std::memory_order_relaxed);
  slot.sequence.fetch_add(1, std::memory_order_release);
}

void TemporarySlot::release() const {
  if (index_ >= g_slot_count) return;
  Slot& slot = g_slots[index_];
  slot.sequence.fetch_add(1, std::memory_order_acq_rel);
  slot.path[0].store('\0', std::memory_order_relaxed);
  slot.sequence.fetch_add(1, std::memory_order_release);
}

}  // namespace paifu::cli
