#include "analyze_entry.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "detect/analyze.h"
#include "detect/code_point_offsets.h"
#include "detect/encoded_payloads.h"
#include "detect/joiners_out_of_context.h"
#include "interpreter_states.h"
#include "python/convert.h"
#include "python/gil.h"
#include "python/panic.h"
#include "python/py_ref.h"

namespace orlenta {
namespace {

PyObject* new_str(std::string_view utf8) {
  return PyUnicode_FromStringAndSize(utf8.data(), static_cast<Py_ssize_t>(utf8.size()));
}

PyObject* evidence_value(const detect::EvidenceValue& value) {
  if (const auto* integer = std::get_if<std::int64_t>(&value)) return PyLong_FromLongLong(*integer);
  if (const auto* real = std::get_if<double>(&value)) return PyFloat_FromDouble(*real);
  return new_str(std::get<std::string>(value));
}

PyObject* evidence_dict(const std::vector<detect::EvidenceField>& evidence) {
  PyRef dict{PyDict_New()};
  if (!dict) return nullptr;
  for (const detect::EvidenceField& field : evidence) {
    PyRef value{evidence_value(field.value)};
    if (!value) return nullptr;
    PyRef key{new_str(field.key)};
    if (!key || PyDict_SetItem(dict.get(), key.get(), value.get()) < 0) return nullptr;
  }
  return dict.release();
}

PyObject* finding_tuple(const detect::Finding& finding) {
  PyRef kind{new_str(detect::finding_kind_name(finding.kind))};
  if (!kind) return nullptr;
  PyRef start{PyLong_FromSize_t(finding.start)};
  if (!start) return nullptr;
  PyRef end{PyLong_FromSize_t(finding.end)};
  if (!end) return nullptr;
  PyRef evidence{evidence_dict(finding.evidence)};
  if (!evidence) return nullptr;
  return PyTuple_Pack(4, kind.get(), start.get(), end.get(), evidence.get());
}

// What reveal adds to its runs: the payloads and the joiners alone, without
// the entropy windows and word scans that take most of analyze's time.
std::vector<detect::Finding> payloads_and_joiners(std::string_view text) {
  std::vector<detect::Finding> found;
  detect::find_encoded_payloads(text, found);
  detect::find_joiners_out_of_context(text, found);
  detect::sort_findings(found);
  detect::to_code_point_offsets(text, found);
  return found;
}

using Detector = std::vector<detect::Finding> (*)(std::string_view);

PyObject* findings_entry(const char* name, Detector detector, PyObject* const* args, Py_ssize_t nargs) {
  return guarded<PyObject*>(PANIC_EXCEPTION_CELL, nullptr, [&]() -> PyObject* {
    if (nargs != 1) {
      PyErr_Format(PyExc_TypeError, "%s() takes 1 positional argument but %zd were given", name, nargs);
      return nullptr;
    }
    std::string_view text;
    PyRef copy;
    if (!convert_large_text(args[0], text, copy)) return nullptr;
    std::vector<detect::Finding> findings;
    {
      // Only the UTF-8 buffer is read, which the argument (or `copy`) keeps.
      ReleasedGil released;
      findings = detector(text);
    }
    PyRef list{PyList_New(static_cast<Py_ssize_t>(findings.size()))};
    if (!list) return nullptr;
    for (std::size_t i = 0; i < findings.size(); ++i) {
      PyObject* item = finding_tuple(findings[i]);
      if (item == nullptr) return nullptr;
      PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);  // steals the reference
    }
    return list.release();
  });
}

}  // namespace

PyObject* analyze_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
  return findings_entry("_analyze", detect::analyze, args, nargs);
}

PyObject* payloads_and_joiners_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
  return findings_entry("_payloads_and_joiners", payloads_and_joiners, args, nargs);
}

}  // namespace orlenta
