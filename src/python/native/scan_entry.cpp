#include "scan_entry.h"

#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "interpreter_states.h"
#include "pipeline/file_scan.h"
#include "python/convert.h"
#include "python/errors.h"
#include "python/gil.h"
#include "python/panic.h"
#include "python/py_ref.h"

namespace orlenta {
namespace {

PyObject* names_tuple(std::span<const std::string_view> names) {
  PyRef tuple{PyTuple_New(static_cast<Py_ssize_t>(names.size()))};
  if (!tuple) return nullptr;
  for (std::size_t i = 0; i < names.size(); ++i) {
    PyObject* name = PyUnicode_FromStringAndSize(names[i].data(), static_cast<Py_ssize_t>(names[i].size()));
    if (name == nullptr) return nullptr;
    PyTuple_SetItem(tuple.get(), static_cast<Py_ssize_t>(i), name);  // steals the reference
  }
  return tuple.release();
}

PyObject* scan_result(const std::vector<ScanFinding>& findings) {
  const std::size_t size = findings.size() * sizeof(ScanFinding);
  PyRef records{PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(size))};
  if (!records) return nullptr;
  if (size != 0) std::memcpy(PyBytes_AsString(records.get()), findings.data(), size);
  PyRef reasons{names_tuple(finding_reason_names)};
  if (!reasons) return nullptr;
  PyRef kinds{names_tuple(finding_kind_names)};
  if (!kinds) return nullptr;
  return PyTuple_Pack(3, records.get(), reasons.get(), kinds.get());
}

}  // namespace

PyObject* scan_file_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
  return guarded<PyObject*>(PANIC_EXCEPTION_CELL, nullptr, [&]() -> PyObject* {
    if (nargs != 4) {
      PyErr_Format(PyExc_TypeError, "_scan_file() takes 4 positional arguments but %zd were given", nargs);
      return nullptr;
    }
    char* data = nullptr;
    Py_ssize_t length = 0;
    if (!PyBytes_Check(args[0])) {
      raise_type_mismatch(args[0], "bytes");
      return nullptr;
    }
    if (PyBytes_AsStringAndSize(args[0], &data, &length) < 0) return nullptr;
    std::string_view policy_name;
    ScanOptions options;
    if (!convert_text(args[1], policy_name) || !convert_bool(args[2], options.strict_newlines) ||
        !convert_bool(args[3], options.check_normalization)) {
      return nullptr;
    }
    const std::optional<ResolvedPolicy> policy = get_policy(policy_name);
    if (!policy) {
      raise_value_error("unknown policy: " + std::string(policy_name));
      return nullptr;
    }
    std::vector<ScanFinding> findings;
    {
      // The bytes object is immutable and the caller holds it for the call.
      ReleasedGil released;
      findings = scan_file(std::string_view(data, static_cast<std::size_t>(length)), *policy, options);
    }
    return scan_result(findings);
  });
}

}  // namespace orlenta
