#include "sanitize_dict_entry.h"

#include <memory>

#include "interpreter_states.h"
#include "python/cached_object.h"
#include "python/name_cache.h"
#include "python/py_ref.h"
#include "report_dict.h"
#include "sanitize_entry.h"

namespace orlenta {
namespace {

constexpr char NAMES_CAPSULE[] = "orlenta._native.report_names";

NameCache* names_in(PyObject* capsule) { return static_cast<NameCache*>(PyCapsule_GetPointer(capsule, NAMES_CAPSULE)); }

void free_names(PyObject* capsule) { delete names_in(capsule); }

PyObject* make_names() {
  auto names = std::make_unique<NameCache>();
  PyObject* capsule = PyCapsule_New(names.get(), NAMES_CAPSULE, free_names);
  if (capsule != nullptr) names.release();
  return capsule;
}

// The names live in a capsule in the module's state, and the call holds a
// reference to it: building the dict can run a garbage collection, which
// may free the module and its state, but not the names in use.
PyObject* report_dict(const SanitizeReport& report) {
  const PyRef capsule = cached_object(current_state_cell<&ModuleState::report_names>, make_names);
  if (!capsule) return nullptr;
  NameCache* names = names_in(capsule.get());
  if (names == nullptr) return nullptr;
  return report_to_dict(report, *names);
}

}  // namespace

PyObject* sanitize_dict_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return sanitize_entry_with(args, nargs, kwnames, report_dict);
}

}  // namespace orlenta
