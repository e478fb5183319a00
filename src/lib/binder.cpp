#include "lib/binder.h"

#include <algorithm>
#include <string>
#include <vector>

#include "lib/outcome.h"

namespace orlenta {
namespace {

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

void raise_missing(const FunctionSignature& signature, const std::vector<const char*>& missing) {
  std::string message = std::string(signature.name) + "() missing " + std::to_string(missing.size()) +
                        " required positional " + (missing.size() == 1 ? "argument" : "arguments") + ": ";
  for (std::size_t i = 0; i < missing.size(); ++i) {
    if (i > 0) message += missing.size() == 2 ? " and " : (i + 1 == missing.size() ? ", and " : ", ");
    message += std::string("'") + missing[i] + "'";
  }
  PyErr_SetString(PyExc_TypeError, message.c_str());
}

// Index of the parameter named exactly `keyword`, or the parameter count.
std::size_t find_parameter(const FunctionSignature& signature, PyObject* keyword) {
  const auto& names = signature.parameters;
  const auto found = std::find_if(names.begin(), names.end(), [keyword](const char* name) {
    return PyUnicode_CompareWithASCIIString(keyword, name) == 0;
  });
  return static_cast<std::size_t>(found - names.begin());
}

}  // namespace

bool bind_arguments(const FunctionSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, std::span<PyObject*> bound) {
  const std::size_t total = signature.parameters.size();
  if (bound.size() != total) throw InternalFault("argument slots do not match the parameters");
  std::fill(bound.begin(), bound.end(), nullptr);

  if (static_cast<std::size_t>(nargs) > total) {
    raise_too_many_positional(signature, nargs);
    return false;
  }
  std::copy_n(args, nargs, bound.begin());

  const Py_ssize_t keyword_count = kwnames == nullptr ? 0 : PyTuple_Size(kwnames);
  for (Py_ssize_t k = 0; k < keyword_count; ++k) {
    PyObject* keyword = PyTuple_GetItem(kwnames, k);
    if (keyword == nullptr) return false;
    const std::size_t index = find_parameter(signature, keyword);
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

  std::vector<const char*> missing;
  for (std::size_t i = 0; i < signature.required; ++i) {
    if (bound[i] == nullptr) missing.push_back(signature.parameters[i]);
  }
  if (!missing.empty()) {
    raise_missing(signature, missing);
    return false;
  }
  return true;
}

}  // namespace orlenta
