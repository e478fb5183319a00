// orlenta._native's sanitize: orlenta._core's entry point, with the report
// dict built directly from the report instead of read back from its JSON
// text by json.loads, which cost more than the pipeline itself on a short
// message.
#pragma once

#include <Python.h>

#include "python/py_ref.h"
#include "report_dict.h"

namespace orlenta {

// The report shapes of the calling interpreter's module, and the capsule in
// the module's state that owns them. They live there so that names and
// templates are made once, not per call; the caller holds the capsule while
// it builds dicts, since building one can run a garbage collection, which
// may free the module and its state, but not the shapes in use.
struct HeldReportShapes {
  PyRef capsule;
  // nullptr with an exception set when they could not be made.
  ReportShapes* shapes;
};
HeldReportShapes current_report_shapes();

// The arguments, exceptions and result of orlenta._core.sanitize, with an
// equal report dict.
PyObject* sanitize_dict_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;

}  // namespace orlenta
