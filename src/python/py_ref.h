// An owned reference to a Python object, released when it goes out of scope,
// also while a C++ exception unwinds the stack. Only touch it with the
// interpreter lock held.
#pragma once

#include <Python.h>

#include <utility>

namespace orlenta {

struct PyRef {
  PyObject* ptr = nullptr;

  PyRef() = default;
  explicit PyRef(PyObject* owned) : ptr(owned) {}
  PyRef(PyRef&& other) noexcept : ptr(std::exchange(other.ptr, nullptr)) {}
  PyRef& operator=(PyRef&& other) noexcept {
    std::swap(ptr, other.ptr);
    return *this;
  }
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  ~PyRef() { Py_XDECREF(ptr); }

  PyObject* get() const { return ptr; }
  PyObject* release() { return std::exchange(ptr, nullptr); }
  explicit operator bool() const { return ptr != nullptr; }
};

}  // namespace orlenta
