// The orlenta._core extension module: multi-phase initialization whose exec
// step starts the module's state, creates the functions and lists them in
// __all__. Each interpreter that imports the module gets a module object, and
// so a state, of its own.
#include <Python.h>

#include "base/outcome.h"
#include "interpreter_states.h"
#include "module_state.h"
#include "python/errors.h"
#include "python/panic.h"
#include "python/py_ref.h"
#include "query_entries.h"
#include "sanitize_entry.h"

namespace orlenta {
namespace {

// The C entry points are fast-call functions with keywords; the method table
// stores them under the generic PyCFunction type. METH_STATIC makes CPython
// pass them a NULL self and report __self__ as None.
constexpr int FUNCTION_FLAGS = METH_FASTCALL | METH_KEYWORDS | METH_STATIC;

template <class Entry>
PyCFunction as_method(Entry entry) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry));
}

// Added to the module in this order, which is also the order of __all__.
PyMethodDef FUNCTION_DEFINITIONS[] = {
    {"sanitize", as_method(sanitize_entry), FUNCTION_FLAGS, SANITIZE_DOC},
    {"normalize_for_skeleton", as_method(normalize_for_skeleton_entry), FUNCTION_FLAGS, NORMALIZE_FOR_SKELETON_DOC},
    {"is_identifier_decoration", as_method(is_identifier_decoration_entry), FUNCTION_FLAGS,
     IS_IDENTIFIER_DECORATION_DOC},
    {"encoded_codepoint_risk", as_method(encoded_codepoint_risk_entry), FUNCTION_FLAGS, ENCODED_CODEPOINT_RISK_DOC},
};

// The module's __all__ list, created empty when the module has none yet.
PyRef all_list(PyObject* module) {
  PyRef all{PyObject_GetAttrString(module, "__all__")};
  if (all || !PyErr_ExceptionMatches(PyExc_AttributeError)) return all;
  PyErr_Clear();
  all = PyRef{PyList_New(0)};
  if (all && PyObject_SetAttrString(module, "__all__", all.get()) < 0) return PyRef{};
  return all;
}

bool add_function(PyObject* module, PyObject* module_name, PyMethodDef& definition) {
  PyRef function{PyCMethod_New(&definition, module, module_name, nullptr)};
  if (!function) return false;
  PyRef name{PyObject_GetAttrString(function.get(), "__name__")};
  if (!name) return false;
  if (!PyUnicode_Check(name.get())) {
    raise_type_mismatch(name.get(), "str");
    return false;
  }
  PyRef all = all_list(module);
  if (!all) return false;
  if (PyList_Append(all.get(), name.get()) < 0) throw InternalFault("could not append __name__ to __all__");
  return PyObject_SetAttr(module, name.get(), function.get()) == 0;
}

// A failure keeps the functions added before it.
int exec_module(PyObject* module) noexcept {
  return guarded(PANIC_EXCEPTION_CELL, -1, [module] {
    if (!PyModule_Check(module)) {
      raise_type_mismatch(module, "module");
      return -1;
    }
    start_module_state(module);
    PyRef module_name{PyModule_GetNameObject(module)};
    if (!module_name) return -1;
    for (PyMethodDef& definition : FUNCTION_DEFINITIONS) {
      if (!add_function(module, module_name.get(), definition)) return -1;
    }
    return 0;
  });
}

PyModuleDef_Slot MODULE_SLOTS[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef MODULE_DEFINITION = {
    PyModuleDef_HEAD_INIT,
    "_core",
    "",
    sizeof(ModuleState),
    nullptr,
    MODULE_SLOTS,
    traverse_module_state,
    clear_module_state,
    free_module_state,
};

}  // namespace
}  // namespace orlenta

PyMODINIT_FUNC PyInit__core() { return PyModuleDef_Init(&orlenta::MODULE_DEFINITION); }
