#include "python/errors.h"

#include "python/py_ref.h"

namespace orlenta {

void raise_value_error(std::string_view message) {
  PyRef text{PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size()))};
  if (!text) return;
  PyErr_SetObject(PyExc_ValueError, text.get());
}

void raise_type_mismatch(PyObject* value, const char* expected) {
  if (value == Py_None) {
    PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", expected);
    return;
  }
  // PyType_GetQualName is not part of the 3.10 stable ABI; the attribute is.
  PyRef qualname{PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(value)), "__qualname__")};
  if (!qualname) return;
  PyErr_Format(PyExc_TypeError, "'%S' object is not an instance of '%s'", qualname.get(), expected);
}

void add_argument_note(const char* parameter) {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  if (value != nullptr) {
    PyRef note{PyUnicode_FromFormat("while processing '%s'", parameter)};
    PyRef added{note ? PyObject_CallMethod(value, "add_note", "O", note.get()) : nullptr};
    if (!added) PyErr_Clear();
  }
  PyErr_Restore(type, value, traceback);
}

}  // namespace orlenta
