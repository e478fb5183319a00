// orlenta.analyze's native half: every detector over one str.
#pragma once

#include <Python.h>

namespace orlenta {

// _analyze(text)
//
// Returns one (kind, start, end, evidence) tuple per finding, sorted by
// start, end and kind: the kind's name, code point offsets into `text`
// (end exclusive), and a dict of str to int, float or str. The scan runs
// without the interpreter lock.
PyObject* analyze_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs) noexcept;

inline constexpr char ANALYZE_DOC[] =
    "_analyze(text)\n--\n\n"
    "The findings of every detector as tuples, for orlenta.analyze.";

// _payloads_and_joiners(text)
//
// The same for the encoded_payload and joiner_out_of_context findings only,
// which orlenta.reveal lists beside its runs.
PyObject* payloads_and_joiners_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs) noexcept;

inline constexpr char PAYLOADS_AND_JOINERS_DOC[] =
    "_payloads_and_joiners(text)\n--\n\n"
    "The encoded payloads and joiners out of context as _analyze gives them, for orlenta.reveal.";

}  // namespace orlenta
