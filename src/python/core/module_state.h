// The state of one orlenta._core module object: the Python objects the
// functions cache between calls. Each interpreter imports its own module
// object, so these objects never cross from one interpreter to another.
#pragma once

#include <Python.h>

#include <array>

#include "policy/policy.h"
#include "query_entries.h"
#include "sanitize_entry.h"

namespace orlenta {

// Every cell starts empty, is filled on first use and holds a strong
// reference, which m_clear and m_free release.
struct ModuleState {
  // Each function's parameter names as interned str, in parameter order: the
  // binder matches keyword names against them by identity.
  std::array<PyObject*, SANITIZE_PARAMETERS.size()> sanitize_keywords{};
  std::array<PyObject*, SKELETON_PARAMETERS.size()> skeleton_keywords{};
  std::array<PyObject*, DECORATION_PARAMETERS.size()> decoration_keywords{};
  std::array<PyObject*, RISK_PARAMETERS.size()> risk_keywords{};
  // json.loads, which turns the report's JSON into the dict sanitize returns.
  PyObject* json_loads = nullptr;
  // The reasons of encoded_codepoint_risk as str, in RISK_REASONS order.
  std::array<PyObject*, RISK_REASONS.size()> risk_reasons{};
  // The policy encoded_codepoint_risk resolved last, and the name object it
  // came from. Callers pass the same (usually interned) str again and again;
  // since a str is immutable and the registry never changes, the same object
  // always names the same policy, and the lookup is skipped.
  PyObject* policy_name = nullptr;
  ResolvedPolicy policy;
  // orlenta.PanicException, made at the module's first fault.
  PyObject* panic_exception = nullptr;
  // A capsule of what orlenta._native builds its report dicts from: the
  // str objects of the same few dozen names on every call and the template
  // dicts of each report shape, which a new report copies.
  PyObject* report_shapes = nullptr;
};

// For PyModuleDef: the state is built in place by start_module_state, in the
// memory of m_size bytes that CPython allocates for it.
void start_module_state(PyObject* module);
int traverse_module_state(PyObject* module, visitproc visit, void* arg);
int clear_module_state(PyObject* module);
void free_module_state(void* module);

}  // namespace orlenta
