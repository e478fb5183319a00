// Matching the positional and keyword arguments of a fast call to a
// function's parameters, with the interpreter's own TypeError messages.
#pragma once

#include <Python.h>

#include <cstddef>
#include <span>

namespace orlenta {

// Every parameter may be passed by position or by keyword; the first
// `required` parameters have no default. `interned` has one slot per
// parameter for its name as an interned str, filled on first use.
struct FunctionSignature {
  const char* name;
  std::span<const char* const> parameters;
  std::size_t required;
  std::span<PyObject*> interned;
};

// Fills `bound` (one slot per parameter) with borrowed references to the
// arguments, nullptr where a parameter was not passed. On a binding error
// sets TypeError and returns false.
bool bind_arguments(const FunctionSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, std::span<PyObject*> bound);

}  // namespace orlenta
