#include "module_functions.h"

#include "base/outcome.h"
#include "interpreter_states.h"
#include "module_state.h"
#include "python/errors.h"
#include "python/panic.h"
#include "python/py_ref.h"

namespace orlenta {
namespace {

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

}  // namespace

int exec_module_with(PyObject* module, std::span<PyMethodDef> definitions) noexcept {
  return guarded(PANIC_EXCEPTION_CELL, -1, [module, definitions] {
    if (!PyModule_Check(module)) {
      raise_type_mismatch(module, "module");
      return -1;
    }
    start_module_state(module);
    PyRef module_name{PyModule_GetNameObject(module)};
    if (!module_name) return -1;
    for (PyMethodDef& definition : definitions) {
      if (!add_function(module, module_name.get(), definition)) return -1;
    }
    return 0;
  });
}

}  // namespace orlenta
