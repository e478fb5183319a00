// The str objects of the names and short values that reports repeat (keys,
// reasons, policy names), made once and then found by view, without
// building a key.
#pragma once

#include <Python.h>

#include <string_view>

#include "policy/policy.h"
#include "python/py_ref.h"

namespace orlenta {

struct NameCache {
  StringMap<PyRef> names;
};

// A new reference to the str of `text`, made and kept on first use; NULL
// with an exception set when it cannot be made.
inline PyObject* cached_name(NameCache& cache, std::string_view text) {
  auto found = cache.names.find(text);
  if (found == cache.names.end()) {
    PyRef made{PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()))};
    if (!made) return nullptr;
    found = cache.names.emplace(std::string(text), std::move(made)).first;
  }
  return Py_NewRef(found->second.get());
}

}  // namespace orlenta
