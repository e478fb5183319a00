#include "report_dict.h"

#include <cmath>
#include <string>
#include <string_view>
#include <variant>

namespace orlenta {
namespace {

// Sets dict[key] = value, taking over the new reference `value`.
bool set_item(PyObject* dict, NameCache& cache, std::string_view key, PyObject* value) {
  PyRef owned{value};
  if (!owned) return false;
  PyRef key_object{cached_name(cache, key)};
  return key_object && PyDict_SetItem(dict, key_object.get(), owned.get()) == 0;
}

PyObject* counts_to_dict(const CountMap& counts, NameCache& cache) {
  PyRef dict{PyDict_New()};
  if (!dict) return nullptr;
  for (const auto& [reason, count] : counts) {
    if (!set_item(dict.get(), cache, reason, PyLong_FromUnsignedLongLong(count))) return nullptr;
  }
  return dict.release();
}

PyObject* span_to_dict(const SpanEvent& span, NameCache& cache) {
  PyRef dict{PyDict_New()};
  if (!dict) return nullptr;
  const bool filled =
      set_item(dict.get(), cache, "kind", cached_name(cache, span.kind)) &&
      set_item(dict.get(), cache, "reason", cached_name(cache, span.reason)) &&
      set_item(dict.get(), cache, "start", PyLong_FromUnsignedLongLong(span.start)) &&
      set_item(dict.get(), cache, "end", PyLong_FromUnsignedLongLong(span.end)) &&
      set_item(dict.get(), cache, "detail",
               PyUnicode_FromStringAndSize(span.detail.data(), static_cast<Py_ssize_t>(span.detail.size())));
  return filled ? dict.release() : nullptr;
}

PyObject* spans_to_list(const std::vector<SpanEvent>& spans, NameCache& cache) {
  PyRef list{PyList_New(static_cast<Py_ssize_t>(spans.size()))};
  if (!list) return nullptr;
  for (std::size_t i = 0; i < spans.size(); ++i) {
    PyObject* span = span_to_dict(spans[i], cache);
    if (span == nullptr) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), span);  // steals the reference
  }
  return list.release();
}

// The JSON form writes a float that is not finite as null, which json.loads
// reads as None; every other value reads back as the same bool, int, float
// or str.
PyObject* stat_to_object(const StatValue& value, NameCache& cache) {
  if (const bool* flag = std::get_if<bool>(&value)) return Py_NewRef(*flag ? Py_True : Py_False);
  if (const std::uint64_t* count = std::get_if<std::uint64_t>(&value)) return PyLong_FromUnsignedLongLong(*count);
  if (const double* number = std::get_if<double>(&value)) {
    return std::isfinite(*number) ? PyFloat_FromDouble(*number) : Py_NewRef(Py_None);
  }
  return cached_name(cache, std::get<std::string_view>(value));
}

PyObject* stats_to_dict(const StatsMap& stats, NameCache& cache) {
  PyRef dict{PyDict_New()};
  if (!dict) return nullptr;
  for (const auto& [key, value] : stats) {
    if (!set_item(dict.get(), cache, key, stat_to_object(value, cache))) return nullptr;
  }
  return dict.release();
}

}  // namespace

PyObject* report_to_dict(const SanitizeReport& report, NameCache& cache) {
  PyRef dict{PyDict_New()};
  if (!dict) return nullptr;
  PyObject* const target = dict.get();
  const bool filled =
      set_item(target, cache, "report_version", PyLong_FromUnsignedLong(report.report_version)) &&
      set_item(target, cache, "policy", cached_name(cache, report.policy)) &&
      set_item(target, cache, "normalization", cached_name(cache, report.normalization)) &&
      set_item(target, cache, "changed", Py_NewRef(report.changed ? Py_True : Py_False)) &&
      set_item(target, cache, "removed_counts", counts_to_dict(report.removed_counts, cache)) &&
      set_item(target, cache, "flagged_counts", counts_to_dict(report.flagged_counts, cache)) &&
      set_item(target, cache, "spans", spans_to_list(report.spans, cache)) &&
      set_item(target, cache, "stats", stats_to_dict(report.stats, cache));
  return filled ? dict.release() : nullptr;
}

}  // namespace orlenta
