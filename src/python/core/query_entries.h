// The three small functions beside sanitize, as Python calls them.
#pragma once

#include <Python.h>

#include <array>
#include <string_view>

namespace orlenta {

// Each function's parameter names in order; the module state keeps them as
// interned str.
inline constexpr std::array<const char*, 2> SKELETON_PARAMETERS = {"text", "max_chars"};
inline constexpr std::array<const char*, 1> DECORATION_PARAMETERS = {"ch"};
inline constexpr std::array<const char*, 2> RISK_PARAMETERS = {"ch", "policy"};

// The reasons encoded_codepoint_risk returns; the module state keeps each as
// a str.
inline constexpr std::array<std::string_view, 7> RISK_REASONS = {
    "bidi_control",   "bidi_mark",         "line_separator",    "tag_char",
    "junk_invisible", "default_ignorable", "control_or_format",
};

// Signature line, "--" and an empty line: CPython takes the parenthesized
// part as __text_signature__ and leaves no docstring.
inline constexpr char NORMALIZE_FOR_SKELETON_DOC[] = "normalize_for_skeleton(text, max_chars=1000000)\n--\n\n";
inline constexpr char IS_IDENTIFIER_DECORATION_DOC[] = "is_identifier_decoration(ch)\n--\n\n";
inline constexpr char ENCODED_CODEPOINT_RISK_DOC[] = "encoded_codepoint_risk(ch, policy)\n--\n\n";

// Returns the NFKC form of the text as a new str.
PyObject* normalize_for_skeleton_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames) noexcept;

// Returns True or False.
PyObject* is_identifier_decoration_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                         PyObject* kwnames) noexcept;

// Returns the reason string, or None.
PyObject* encoded_codepoint_risk_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames) noexcept;

}  // namespace orlenta
