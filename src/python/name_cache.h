// The str objects of the names and short values that reports repeat (keys,
// reasons, policy names), made once and then found by view, without
// building a key.
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "policy/policy.h"
#include "python/py_ref.h"

namespace orlenta {

inline constexpr std::size_t RECENT_NAME_SLOTS = 64;

// A name found before, by where its text was.
struct RecentName {
  const std::string* text = nullptr;
  PyObject* object = nullptr;  // borrowed from the cache's map
};

struct NameCache {
  StringMap<PyRef> names;
  // The pipeline's names are string literals, so a name mostly comes again
  // at the same address. A slot chosen by address and length is only a
  // guess, confirmed by comparing the text, which for a short name costs
  // far less than hashing it. The map's nodes do not move, so the slots'
  // pointers stay valid as it grows.
  std::array<RecentName, RECENT_NAME_SLOTS> recent;
};

inline std::size_t recent_slot(std::string_view text) {
  const auto address = reinterpret_cast<std::uintptr_t>(text.data());
  return ((address >> 3) ^ (address >> 9) ^ text.size()) % RECENT_NAME_SLOTS;
}

// A new reference to the str of `text`, made and kept on first use; NULL
// with an exception set when it cannot be made.
inline PyObject* cached_name(NameCache& cache, std::string_view text) {
  RecentName& recent = cache.recent[recent_slot(text)];
  if (recent.text != nullptr && *recent.text == text) return Py_NewRef(recent.object);
  auto found = cache.names.find(text);
  if (found == cache.names.end()) {
    PyRef made{PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()))};
    if (!made) return nullptr;
    found = cache.names.emplace(std::string(text), std::move(made)).first;
  }
  recent = {&found->first, found->second.get()};
  return Py_NewRef(found->second.get());
}

}  // namespace orlenta
