// A report as the dict json.loads makes of its JSON text, built directly.
#pragma once

#include <Python.h>

#include "python/name_cache.h"
#include "report/report.h"

namespace orlenta {

// A new dict with the same keys in the same order and values of the same
// types and values as json.loads(report_to_json(report)), or NULL with an
// exception set.
PyObject* report_to_dict(const SanitizeReport& report, NameCache& cache);

}  // namespace orlenta
