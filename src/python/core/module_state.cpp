#include "module_state.h"

#include <memory>
#include <span>

#include "interpreter_states.h"

namespace orlenta {
namespace {

ModuleState* state_of(PyObject* module) { return static_cast<ModuleState*>(PyModule_GetState(module)); }

// Calls `visit` on every object cell of the state.
template <class Visit>
void for_each_cell(ModuleState& state, Visit&& visit) {
  const auto visit_each = [&visit](std::span<PyObject*> cells) {
    for (PyObject*& cell : cells) visit(cell);
  };
  visit_each(state.sanitize_keywords);
  visit_each(state.skeleton_keywords);
  visit_each(state.decoration_keywords);
  visit_each(state.risk_keywords);
  visit(state.json_loads);
  visit_each(state.risk_reasons);
  visit(state.policy_name);
  visit(state.panic_exception);
  visit(state.report_shapes);
}

}  // namespace

void start_module_state(PyObject* module) {
  ModuleState* state = std::construct_at(state_of(module));
  add_live_state(state);
}

int traverse_module_state(PyObject* module, visitproc visit, void* arg) {
  int result = 0;
  for_each_cell(*state_of(module), [&](PyObject* object) {
    if (result == 0 && object != nullptr) result = visit(object, arg);
  });
  return result;
}

int clear_module_state(PyObject* module) {
  for_each_cell(*state_of(module), [](PyObject*& object) { Py_CLEAR(object); });
  return 0;
}

// Removed from the live states first: releasing the objects can run Python
// code, and a call it makes must not find, and refill, a state on its way out.
void free_module_state(void* module) {
  ModuleState* state = state_of(static_cast<PyObject*>(module));
  remove_live_state(state);
  clear_module_state(static_cast<PyObject*>(module));
  std::destroy_at(state);
}

}  // namespace orlenta
