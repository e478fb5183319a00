// The live states of orlenta._core's module objects, by interpreter.
//
// CPython calls the module's functions with a NULL self (they are
// METH_STATIC), so a call cannot name its module. Every interpreter that
// imports the module has a module object of its own, and a call finds the
// state of one of them here, by the interpreter it runs in. Interpreter IDs
// are never reused, so a state left behind by an interpreter that is gone
// can never be found by a later one. Only used with the interpreter lock
// held: the module does not support interpreters with a lock of their own,
// so every interpreter that can import it shares one lock.
#pragma once

#include <Python.h>

#include <span>

#include "module_state.h"
#include "python/cached_object.h"

namespace orlenta {

// Adds the state of a module just created in the calling interpreter.
void add_live_state(ModuleState* state);

// Removes a state whose module is being freed; one not added is ignored.
void remove_live_state(const ModuleState* state) noexcept;

// The state of the calling interpreter's newest live module, or nullptr when
// it has none (a function object carried into an interpreter that never
// imported the module). The pointer is only good until the next Python code
// or garbage collection runs: either may free that module.
ModuleState* current_module_state() noexcept;

// A CellFinder for one object cell of the current module state.
template <PyObject* ModuleState::*Cell>
PyObject** current_state_cell() noexcept {
  ModuleState* state = current_module_state();
  return state == nullptr ? nullptr : &(state->*Cell);
}

// For guarded(): where the module keeps its PanicException type.
inline constexpr CellFinder PANIC_EXCEPTION_CELL = current_state_cell<&ModuleState::panic_exception>;

// The interned-name cells of one function in the current module state, for
// FunctionSignature::interned_names.
template <auto Cells>
std::span<PyObject*> current_state_cells() noexcept {
  ModuleState* state = current_module_state();
  if (state == nullptr) return {};
  return state->*Cells;
}

}  // namespace orlenta
