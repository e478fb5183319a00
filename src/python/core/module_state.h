// The state of one orlenta._core module object: the Python objects the
// functions cache between calls. Each interpreter imports its own module
// object, so these objects never cross from one interpreter to another.
#pragma once

#include <Python.h>

#include <array>

#include "query_entries.h"
#include "sanitize_entry.h"

namespace orlenta {

// Every cell starts empty and is filled on first use.
struct ModuleState {
  // Each function's parameter names as interned str, in parameter order: the
  // binder matches keyword names against them by identity.
  std::array<PyObject*, SANITIZE_PARAMETERS.size()> sanitize_keywords{};
  std::array<PyObject*, SKELETON_PARAMETERS.size()> skeleton_keywords{};
  std::array<PyObject*, DECORATION_PARAMETERS.size()> decoration_keywords{};
  std::array<PyObject*, RISK_PARAMETERS.size()> risk_keywords{};
  // json.loads, which turns the report's JSON into the dict sanitize returns.
  PyObject* json_loads = nullptr;
};

// For PyModuleDef: the state is built in place by start_module_state, in the
// memory of m_size bytes that CPython allocates for it.
void start_module_state(PyObject* module);
int traverse_module_state(PyObject* module, visitproc visit, void* arg);
int clear_module_state(PyObject* module);
void free_module_state(void* module);

}  // namespace orlenta
