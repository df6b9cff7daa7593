// The fault barrier: no C++ exception crosses into the interpreter. An internal fault becomes
// PanicException (derived from BaseException, so `except Exception` does not swallow a bug),
// after a diagnostic on standard error; an allocation failure becomes MemoryError.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace paifu::py {

// Raises the exception that stands for the exception being handled and returns null. Called
// only from a catch block. A second fault while raising aborts the process.
PyObject* raise_current_fault() noexcept;

// The PanicException class, created on first use (borrowed reference); the module exposes it as
// `_paifu.PanicException` (not in __all__).
PyObject* panic_exception();

// Runs `body` (which returns a new reference, or null with an error set) inside the barrier.
template <class Body>
PyObject* run_in_barrier(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return raise_current_fault();
  }
}

#ifdef PAIFU_FAULT_INJECTION
// Test builds only: the next raise_current_fault faults again while raising.
void fault_while_raising_next_panic();
#endif

}  // namespace paifu::py
