// Owned references to Python objects, released on every path out of a scope.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace paifu::py {

// A new reference to `object` (the interpreters differ on whether they offer Py_NewRef).
inline PyObject* new_ref(PyObject* object) {
  Py_INCREF(object);
  return object;
}

// Stores `created` in the process-wide `slot` unless the slot was filled meanwhile (code run
// while creating it may have let another thread in), and returns what the slot holds. The
// object stored is kept for the life of the process.
inline PyObject* keep_first(PyObject*& slot, PyObject* created) {
  if (slot) {
    Py_DECREF(created);
  } else {
    slot = created;
  }
  return slot;
}

class PyRef {
 public:
  PyRef() = default;
  explicit PyRef(PyObject* owned) : object_(owned) {}
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  PyRef& operator=(PyRef&& other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~PyRef() { Py_XDECREF(object_); }

  PyObject* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  // Hands the reference to the caller (or to an API call that steals it).
  PyObject* release() { return std::exchange(object_, nullptr); }

 private:
  PyObject* object_ = nullptr;
};

}  // namespace paifu::py
