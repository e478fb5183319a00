// orlenta.reveal's native half: where a str hides something.
#pragma once

#include <Python.h>

namespace orlenta {

// _hidden_runs(text)
//
// Returns one (start, end) tuple per run that hidden_runs finds in the str
// `text`, code point offsets, end exclusive. The text's code points are
// copied out once and searched without the interpreter lock.
PyObject* hidden_runs_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs) noexcept;

inline constexpr char HIDDEN_RUNS_DOC[] =
    "_hidden_runs(text)\n--\n\n"
    "Where the runs of hidden code points are, for orlenta.reveal.";

}  // namespace orlenta
