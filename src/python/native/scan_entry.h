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

// _scan_paths(paths, policy, strict_newlines, check_normalization, keep_data)
//
// `paths` is a list of bytes (file system paths). Every file is read and
// scanned with the interpreter lock released once for the whole list, so
// that threads scanning lists at once do not queue for the lock between the
// reads and the scans of small files. Returns (results, reasons, kinds),
// with one (records, data, error) per path: records as _scan_file gives
// them, or None for a binary file or one that could not be read; the file's
// bytes when it has findings or `keep_data` is set, else None; and the
// reason it could not be read, as strerror words it, or None.
PyObject* scan_paths_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs) noexcept;

// _walk_folder(folder)
//
// `folder` is a bytes file system path. Returns, with the interpreter lock
// released for the walk, every regular file below it as walk_folder finds
// them, as bytes, with a (path, reason) tuple in the place of each folder
// that could not be listed.
PyObject* walk_folder_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs) noexcept;

inline constexpr char WALK_FOLDER_DOC[] =
    "_walk_folder(folder)\n--\n\n"
    "The files below a folder for orlenta check, for orlenta's own use.";

inline constexpr char SCAN_PATHS_DOC[] =
    "_scan_paths(paths, policy, strict_newlines, check_normalization, keep_data)\n--\n\n"
    "The findings of several files for orlenta check, for orlenta's own use.";

inline constexpr char SCAN_FILE_DOC[] =
    "_scan_file(data, policy, strict_newlines, check_normalization)\n--\n\n"
    "The findings of one file for orlenta check, for orlenta's own use.";

}  // namespace orlenta
