#include "python/convert.h"

#include "python/errors.h"
#include "python/py_ref.h"

namespace orlenta {
namespace {

bool has_str_attribute(PyObject* object, const char* attribute, const char* expected) {
  PyRef found{PyObject_GetAttrString(object, attribute)};
  if (!found) {
    PyErr_Clear();
    return false;
  }
  return PyUnicode_Check(found.get()) && PyUnicode_CompareWithASCIIString(found.get(), expected) == 0;
}

// NumPy's scalar boolean type is numpy.bool_ before NumPy 2 and numpy.bool
// from NumPy 2 on; matching the names keeps NumPy an optional dependency.
bool is_numpy_bool_type(PyObject* type) {
  return has_str_attribute(type, "__module__", "numpy") &&
         (has_str_attribute(type, "__name__", "bool_") || has_str_attribute(type, "__name__", "bool"));
}

bool convert_numpy_bool(PyObject* value, PyObject* type, bool& flag) {
  PyRef to_bool{PyObject_GetAttrString(type, "__bool__")};
  if (!to_bool) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
    PyErr_Clear();
    PyRef qualname{PyObject_GetAttrString(type, "__qualname__")};
    if (!qualname) return false;
    PyErr_Format(PyExc_TypeError, "object of type '%S' does not define a '__bool__' conversion",
                 qualname.get());
    return false;
  }
  PyRef result{PyObject_CallFunctionObjArgs(to_bool.get(), value, nullptr)};
  if (!result) return false;
  if (!PyBool_Check(result.get())) {
    PyRef qualname{PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(result.get())), "__qualname__")};
    if (!qualname) return false;
    PyErr_Format(PyExc_TypeError, "__bool__ should return bool, returned %S", qualname.get());
    return false;
  }
  flag = result.get() == Py_True;
  return true;
}

}  // namespace

bool convert_text(PyObject* value, std::string_view& text) {
  // The exact type is one comparison; the subclass test is a call into the
  // interpreter under the limited API.
  if (!PyUnicode_CheckExact(value) && !PyUnicode_Check(value)) {
    raise_type_mismatch(value, "str");
    return false;
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(value, &size);
  if (data == nullptr) return false;
  text = std::string_view(data, static_cast<std::size_t>(size));
  return true;
}

bool convert_large_text(PyObject* value, std::string_view& text, PyRef& holder) {
  // Below this many code points the cached form costs little memory, and
  // whether the string is ASCII is not worth a method call.
  constexpr Py_ssize_t large_length = Py_ssize_t{1} << 16;
  if (!PyUnicode_CheckExact(value) && !PyUnicode_Check(value)) {
    raise_type_mismatch(value, "str");
    return false;
  }
  const Py_ssize_t length = PyUnicode_GetLength(value);
  if (length < 0) return false;
  if (length < large_length) return convert_text(value, text);
  // An ASCII string's own storage is its UTF-8 form, read without a copy.
  // The question goes to str's own method: a subclass's override is user
  // code that could raise, or lie and have a copy cached on the argument.
  PyRef is_ascii{PyObject_CallMethod(reinterpret_cast<PyObject*>(&PyUnicode_Type), "isascii", "O", value)};
  if (!is_ascii) return false;
  if (is_ascii.get() == Py_True) return convert_text(value, text);
  PyRef encoded{PyUnicode_AsUTF8String(value)};
  if (!encoded) return false;
  char* data = nullptr;
  Py_ssize_t size = 0;
  if (PyBytes_AsStringAndSize(encoded.get(), &data, &size) != 0) return false;
  text = std::string_view(data, static_cast<std::size_t>(size));
  holder = std::move(encoded);
  return true;
}

bool convert_optional_text(PyObject* value, std::optional<std::string_view>& text) {
  if (value == Py_None) {
    text.reset();
    return true;
  }
  std::string_view present;
  if (!convert_text(value, present)) return false;
  text = present;
  return true;
}

bool convert_bool(PyObject* value, bool& flag) {
  if (PyBool_Check(value)) {
    flag = value == Py_True;
    return true;
  }
  PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(value));
  if (is_numpy_bool_type(type)) return convert_numpy_bool(value, type, flag);
  raise_type_mismatch(value, "bool");
  return false;
}

bool convert_optional_bool(PyObject* value, std::optional<bool>& flag) {
  if (value == Py_None) {
    flag.reset();
    return true;
  }
  bool present = false;
  if (!convert_bool(value, present)) return false;
  flag = present;
  return true;
}

bool convert_single_character(PyObject* value, char32_t& character) {
  if (!PyUnicode_Check(value)) {
    raise_type_mismatch(value, "str");
    return false;
  }
  const Py_ssize_t length = PyUnicode_GetLength(value);
  if (length < 0) return false;
  if (length != 1) {
    PyErr_SetString(PyExc_ValueError, "expected a string of length 1");
    return false;
  }
  // The native code only ever sees scalar values: a lone surrogate fails
  // here with the interpreter's own encoding error, as it does for text.
  Py_ssize_t size = 0;
  if (PyUnicode_AsUTF8AndSize(value, &size) == nullptr) return false;
  character = static_cast<char32_t>(PyUnicode_ReadChar(value, 0));
  return true;
}

bool convert_count(PyObject* value, std::uint64_t& count) {
  // An int is its own index; the protocol is for everything else.
  PyObject* number = value;
  PyRef index;
  if (!PyLong_CheckExact(value)) {
    index = PyRef{PyNumber_Index(value)};
    if (!index) return false;
    number = index.get();
  }
  const unsigned long long converted = PyLong_AsUnsignedLongLong(number);
  if (converted == static_cast<unsigned long long>(-1) && PyErr_Occurred() != nullptr) return false;
  count = converted;
  return true;
}

}  // namespace orlenta
