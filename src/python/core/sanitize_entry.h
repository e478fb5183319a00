// `sanitize` as Python calls it.
#pragma once

#include <Python.h>

#include <array>

namespace orlenta {

// The parameter names in order; the module state keeps them as interned str.
inline constexpr std::array<const char*, 5> SANITIZE_PARAMETERS = {"text", "policy", "normalization",
                                                                   "tidy_whitespace", "return_spans"};

// The signature line, "--" and an empty line: CPython reads the parenthesized
// part as __text_signature__ and leaves the function without a docstring.
inline constexpr char SANITIZE_DOC[] =
    "sanitize(text, policy=\"balanced_chat\", normalization=None, tidy_whitespace=None, "
    "return_spans=False)\n--\n\n";

// Fast-call entry point: returns the tuple (sanitized text, report dict), or
// NULL with a Python exception set.
PyObject* sanitize_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;

}  // namespace orlenta
