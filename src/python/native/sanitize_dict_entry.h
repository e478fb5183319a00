// orlenta._native's sanitize: orlenta._core's entry point, with the report
// dict built directly from the report instead of read back from its JSON
// text by json.loads, which cost more than the pipeline itself on a short
// message.
#pragma once

#include <Python.h>

namespace orlenta {

// The arguments, exceptions and result of orlenta._core.sanitize, with an
// equal report dict.
PyObject* sanitize_dict_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;

}  // namespace orlenta
