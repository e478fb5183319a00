// `sanitize` as Python calls it.
#pragma once

#include <Python.h>

#include <array>
#include <optional>
#include <string_view>

#include "policy/policy.h"
#include "report/report.h"

namespace orlenta {

// The parameter names in order; the module state keeps them as interned str.
inline constexpr std::array<const char*, 5> SANITIZE_PARAMETERS = {"text", "policy", "normalization",
                                                                   "tidy_whitespace", "return_spans"};

// The signature line, "--" and an empty line: CPython reads the parenthesized
// part as __text_signature__ and leaves the function without a docstring.
inline constexpr char SANITIZE_DOC[] =
    "sanitize(text, policy=\"balanced_chat\", normalization=None, tidy_whitespace=None, "
    "return_spans=False)\n--\n\n";

// The normalization override as sanitize reads it: "NFC" or "NFKC", the
// letter case of ASCII letters ignored and nothing else (" NFC" and the
// full-width form are unknown).
std::optional<NormalizationForm> parse_normalization(std::string_view name);

// Fast-call entry point: returns the tuple (sanitized text, report dict), or
// NULL with a Python exception set. The report dict is json.loads of the
// report's JSON text.
PyObject* sanitize_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;

// Builds the dict of a report, equal to what json.loads makes of its JSON
// text, with the lock held; NULL with an exception set on failure.
using ReportDictMaker = PyObject* (*)(const SanitizeReport& report);

// As sanitize_entry, the same arguments, exceptions and result, with the
// report dict made by `make_report` from the report itself: the pipeline
// then writes no JSON text and nothing parses it.
PyObject* sanitize_entry_with(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                              ReportDictMaker make_report) noexcept;

}  // namespace orlenta
