#include "python/binder.h"

#include <algorithm>
#include <string>
#include <vector>

namespace orlenta {
namespace {

// Index of the parameter named exactly `keyword`, or the parameter count.
// The compiler interns the keyword names of a call, so the name is usually
// the very object interned here, found without comparing characters. The
// cells hold strong references, so a match by identity cannot be a different
// string that took a freed one's place.
std::size_t find_parameter(const FunctionSignature& signature, std::span<PyObject*> interned,
                           PyObject* keyword) {
  const auto& names = signature.parameters;
  for (std::size_t i = 0; i < interned.size(); ++i) {
    if (interned[i] == nullptr) {
      interned[i] = PyUnicode_InternFromString(names[i]);
      if (interned[i] == nullptr) PyErr_Clear();
    }
    if (keyword == interned[i]) return i;
  }
  const auto found = std::find_if(names.begin(), names.end(), [keyword](const char* name) {
    return PyUnicode_CompareWithASCIIString(keyword, name) == 0;
  });
  return static_cast<std::size_t>(found - names.begin());
}

}  // namespace

namespace binder_detail {

void raise_too_many_positional(const FunctionSignature& signature, Py_ssize_t given) {
  const std::size_t total = signature.parameters.size();
  std::string message = std::string(signature.name) + "() takes ";
  if (signature.required != total) {
    message += "from " + std::to_string(signature.required) + " to ";
  }
  message += std::to_string(total) + " positional arguments but " + std::to_string(given) +
             (given == 1 ? " was given" : " were given");
  PyErr_SetString(PyExc_TypeError, message.c_str());
}

// Names the required parameters that `bound` leaves empty.
void raise_missing(const FunctionSignature& signature, std::span<PyObject* const> bound) {
  std::vector<const char*> missing;
  for (std::size_t i = 0; i < signature.required; ++i) {
    if (bound[i] == nullptr) missing.push_back(signature.parameters[i]);
  }
  std::string message = std::string(signature.name) + "() missing " + std::to_string(missing.size()) +
                        " required positional " + (missing.size() == 1 ? "argument" : "arguments") + ": ";
  for (std::size_t i = 0; i < missing.size(); ++i) {
    if (i > 0) message += missing.size() == 2 ? " and " : (i + 1 == missing.size() ? ", and " : ", ");
    message += std::string("'") + missing[i] + "'";
  }
  PyErr_SetString(PyExc_TypeError, message.c_str());
}

bool bind_keywords(const FunctionSignature& signature, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   std::span<PyObject*> bound) {
  const std::size_t total = signature.parameters.size();
  // The cells are used without running Python code or making an object the
  // garbage collector tracks, so the module owning them cannot be freed
  // meanwhile.
  const std::span<PyObject*> interned = signature.interned_names();
  if (!interned.empty() && interned.size() != total) {
    throw InternalFault("interned name cells do not match the parameters");
  }
  const Py_ssize_t keyword_count = PyTuple_Size(kwnames);
  for (Py_ssize_t k = 0; k < keyword_count; ++k) {
    PyObject* keyword = PyTuple_GetItem(kwnames, k);
    if (keyword == nullptr) return false;
    const std::size_t index = find_parameter(signature, interned, keyword);
    if (index == total) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", signature.name, keyword);
      return false;
    }
    if (bound[index] != nullptr) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", signature.name,
                   signature.parameters[index]);
      return false;
    }
    bound[index] = args[nargs + k];
  }
  return true;
}

}  // namespace binder_detail
}  // namespace orlenta
