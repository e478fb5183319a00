// Conversions of bound Python arguments to the plain values the native code
// works on. Each returns false with a Python exception set when the value is
// not accepted; the caller then adds the parameter's note.
#pragma once

#include <Python.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include "python/py_ref.h"

namespace orlenta {

// A str (or subclass), read in place as UTF-8. The view borrows the string's
// cached UTF-8 form and stays valid while the caller holds the argument.
bool convert_text(PyObject* value, std::string_view& text);

// A str (or subclass) as UTF-8, for a text that may be large. A short or
// ASCII string is read in place as convert_text does. A long string with
// other characters is encoded into a bytes object that `holder` owns:
// the caller can drop that copy as soon as the text has been read, where a
// cached UTF-8 form would stay with the string as long as the caller keeps
// it.
bool convert_large_text(PyObject* value, std::string_view& text, PyRef& holder);

// As convert_text, with None meaning absent.
bool convert_optional_text(PyObject* value, std::optional<std::string_view>& text);

// Exactly a bool, or a NumPy boolean scalar read through its type's __bool__.
bool convert_bool(PyObject* value, bool& flag);

// As convert_bool, with None meaning absent.
bool convert_optional_bool(PyObject* value, std::optional<bool>& flag);

// A str of exactly one code point, which must be a Unicode scalar value.
bool convert_single_character(PyObject* value, char32_t& character);

// An int from 0 to 2**64 - 1, or an object the index protocol turns into one.
bool convert_count(PyObject* value, std::uint64_t& count);

}  // namespace orlenta
