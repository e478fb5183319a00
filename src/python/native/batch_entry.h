// The native half of sanitize_many: one chunk of texts sanitized with the
// interpreter lock released once for the whole chunk.
#pragma once

#include <Python.h>

namespace orlenta {

// _sanitize_chunk(texts, policy, normalization, tidy_whitespace, return_spans, report)
//
// `texts` is a list; the other arguments are sanitize's, already checked by
// the caller, and `report` is "dict", "json", "none" or "changed+json".
// Returns a list with one entry per text: (text, report dict),
// (text, report JSON), (text, changed) or (text, changed, report JSON), or,
// for a text that sanitize would refuse, the exception it would raise.
PyObject* sanitize_chunk_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs) noexcept;

inline constexpr char SANITIZE_CHUNK_DOC[] =
    "_sanitize_chunk(texts, policy, normalization, tidy_whitespace, return_spans, report)\n--\n\n"
    "One chunk of sanitize_many, for orlenta's own use.";

}  // namespace orlenta
