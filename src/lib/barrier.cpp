#include "barrier.hpp"

#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <new>
#include <optional>
#include <source_location>
#include <string>
#include <string_view>
#include <utility>

#include "paifu/util/internal_fault.hpp"
#include "py_ref.hpp"

namespace paifu::py {
namespace {

constexpr std::string_view kNoMessage = "internal fault with no message";

#ifdef PAIFU_FAULT_INJECTION
bool g_fault_while_raising = false;
#endif

struct Fault {
  std::string message;
  std::optional<std::source_location> where;
};

Fault describe_current_fault() {
  try {
    throw;
  } catch (const InternalFault& fault) {
    return {fault.what(), fault.where()};
  } catch (const std::exception& error) {
    return {error.what(), std::nullopt};
  } catch (...) {
    return {std::string(kNoMessage), std::nullopt};
  }
}

// One write to file descriptor 2, so that the line is not interleaved with other output.
void write_diagnostic(const Fault& fault) {
  std::string line = "paifu: internal fault";
  if (fault.where) {
    line += " at ";
    line += fault.where->file_name();
    line += ':';
    line += std::to_string(fault.where->line());
    line += " in ";
    line += fault.where->function_name();
  }
  line += ": ";
  line += fault.message;
  line += '\n';
  (void)!::write(STDERR_FILENO, line.data(), line.size());
}

PyObject* panic_exception_class() {
  static PyObject* cached = nullptr;
  if (cached) return cached;
  PyObject* created = PyErr_NewExceptionWithDoc(
      "_paifu.PanicException",
      "An internal fault of the converter (a bug, not a bad log). Derived from BaseException so "
      "that handlers for Exception do not hide it.",
      PyExc_BaseException, nullptr);
  if (!created) internal_fault("Failed to initialize new exception type.");
  return keep_first(cached, created);
}

void raise_panic(const Fault& fault) {
#ifdef PAIFU_FAULT_INJECTION
  if (std::exchange(g_fault_while_raising, false)) internal_fault("injected fault while raising");
#endif
  PyObject* panic = panic_exception_class();
  const std::string_view text = fault.message.empty() ? kNoMessage : std::string_view(fault.message);
  PyRef message(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
  if (!message) internal_fault("could not create the panic message");
  PyErr_SetObject(panic, message.get());
}

}  // namespace

PyObject* panic_exception() { return panic_exception_class(); }

PyObject* raise_current_fault() noexcept {
  try {
    try {
      throw;
    } catch (const std::bad_alloc&) {
      // Running out of memory is the host's MemoryError, not the end of the interpreter.
      PyErr_NoMemory();
      return nullptr;
    } catch (...) {
      const Fault fault = describe_current_fault();
      write_diagnostic(fault);
      raise_panic(fault);
      return nullptr;
    }
  } catch (...) {
    static constexpr std::string_view kFatal = "uncaught panic at ffi boundary\n";
    (void)!::write(STDERR_FILENO, kFatal.data(), kFatal.size());
    std::abort();
  }
}

#ifdef PAIFU_FAULT_INJECTION
void fault_while_raising_next_panic() { g_fault_while_raising = true; }
#endif

}  // namespace paifu::py
