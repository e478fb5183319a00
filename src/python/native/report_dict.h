// A report as the dict json.loads makes of its JSON text, built directly.
#pragma once

#include <Python.h>

#include "policy/policy.h"
#include "python/py_ref.h"
#include "report/report.h"

namespace orlenta {

// The str objects of the names and short values a batch of reports repeats
// (keys, reasons, policy names), made once per batch and looked up by view,
// without building a key.
struct NameCache {
  StringMap<PyRef> names;
};

// A new dict with the same keys in the same order and values of the same
// types and values as json.loads(report_to_json(report)), or NULL with an
// exception set.
PyObject* report_to_dict(const SanitizeReport& report, NameCache& cache);

}  // namespace orlenta
