// A report as the dict json.loads makes of its JSON text, built directly.
#pragma once

#include <Python.h>

#include <string>
#include <string_view>
#include <unordered_map>

#include "python/py_ref.h"
#include "report/report.h"

namespace orlenta {

// The str objects of the names and short values a batch of reports repeats
// (keys, reasons, policy names), made once per batch.
struct NameCache {
  std::unordered_map<std::string, PyRef> names;
};

// A new dict with the same keys in the same order and values of the same
// types and values as json.loads(report_to_json(report)), or NULL with an
// exception set.
PyObject* report_to_dict(const SanitizeReport& report, NameCache& cache);

}  // namespace orlenta
