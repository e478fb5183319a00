// Matching the positional and keyword arguments of a fast call to a
// function's parameters, with the interpreter's own TypeError messages.
#pragma once

#include <Python.h>

#include <cstddef>
#include <span>

#include "base/outcome.h"

namespace orlenta {

// Every parameter may be passed by position or by keyword; the first
// `required` parameters have no default. `interned_names` finds the cells,
// one a parameter, where the calling interpreter's module keeps the names as
// interned str objects, filled on first use; it returns an empty span when
// there is no such module, and names are then compared by their characters.
struct FunctionSignature {
  const char* name;
  std::span<const char* const> parameters;
  std::size_t required;
  std::span<PyObject*> (*interned_names)() noexcept;
};

namespace binder_detail {

// The parts of bind_arguments that calls with keywords or errors need.
bool bind_keywords(const FunctionSignature& signature, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   std::span<PyObject*> bound);
void raise_too_many_positional(const FunctionSignature& signature, Py_ssize_t given);
void raise_missing(const FunctionSignature& signature, std::span<PyObject* const> bound);

}  // namespace binder_detail

// Fills `bound` (one slot per parameter) with borrowed references to the
// arguments, nullptr where a parameter was not passed. On a binding error
// sets TypeError and returns false. Inline: for the usual call, a few
// positional arguments, it is a few moves in the caller.
inline bool bind_arguments(const FunctionSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames, std::span<PyObject*> bound) {
  const std::size_t total = signature.parameters.size();
  if (bound.size() != total) throw InternalFault("argument slots do not match the parameters");
  const auto positional = static_cast<std::size_t>(nargs);
  if (positional > total) {
    binder_detail::raise_too_many_positional(signature, nargs);
    return false;
  }
  for (std::size_t i = 0; i < total; ++i) bound[i] = i < positional ? args[i] : nullptr;
  if (kwnames != nullptr && !binder_detail::bind_keywords(signature, args, nargs, kwnames, bound)) return false;
  for (std::size_t i = 0; i < signature.required; ++i) {
    if (bound[i] == nullptr) {
      binder_detail::raise_missing(signature, bound);
      return false;
    }
  }
  return true;
}

}  // namespace orlenta
