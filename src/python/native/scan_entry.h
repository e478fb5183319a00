// The native half of `orlenta check`: the findings of one file's bytes.
#pragma once

#include <Python.h>

namespace orlenta {

// _scan_file(data, policy, strict_newlines, check_normalization)
//
// `data` is a bytes object, read in place with the interpreter lock
// released. Returns (records, reasons, kinds): `records` packs one 32-byte
// record per finding, in file order, in the struct format "=QQQIBB2x"
// (byte offset, line, column, code point, reason index, kind index);
// `reasons` and `kinds` are the names the indices refer to. Raises
// ValueError for an unknown policy.
PyObject* scan_file_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs) noexcept;

inline constexpr char SCAN_FILE_DOC[] =
    "_scan_file(data, policy, strict_newlines, check_normalization)\n--\n\n"
    "The findings of one file for orlenta check, for orlenta's own use.";

}  // namespace orlenta
