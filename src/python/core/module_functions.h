// What the extension modules of the package share: each module object gets
// a state of its own, and the functions are added by its exec step.
#pragma once

#include <Python.h>

#include <span>

#include "module_state.h"

namespace orlenta {

// The C entry points are fast-call functions with keywords; the method table
// stores them under the generic PyCFunction type. METH_STATIC makes CPython
// pass them a NULL self and report __self__ as None.
inline constexpr int FUNCTION_FLAGS = METH_FASTCALL | METH_KEYWORDS | METH_STATIC;

template <class Entry>
PyCFunction as_method(Entry entry) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry));
}

// The exec step of a module whose m_size is sizeof(ModuleState): starts the
// state, then adds each function in order and lists it in __all__. A failure
// keeps the functions added before it.
int exec_module_with(PyObject* module, std::span<PyMethodDef> definitions) noexcept;

// The definition of one of the package's modules, for its PyInit function to
// pass to PyModuleDef_Init: multi-phase initialization whose one exec step
// adds `Functions`, and a state of its own in every module object.
template <auto& Functions, const char* Name, const char* Doc>
struct PackageModule {
  static int exec(PyObject* module) noexcept { return exec_module_with(module, Functions); }

  static inline PyModuleDef_Slot slots[] = {
      {Py_mod_exec, reinterpret_cast<void*>(exec)},
      {0, nullptr},
  };

  static inline PyModuleDef definition = {
      PyModuleDef_HEAD_INIT, Name,  Doc, sizeof(ModuleState), nullptr, slots, traverse_module_state,
      clear_module_state,    free_module_state,
  };
};

}  // namespace orlenta
