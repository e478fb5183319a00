#include "report_dict.h"

#include <array>
#include <bit>
#include <cmath>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace orlenta {
namespace {

// The top-level keys in the order of the JSON form.
constexpr std::array<std::string_view, 8> TOP_KEYS = {
    "report_version", "policy", "normalization", "changed", "removed_counts", "flagged_counts", "spans", "stats"};
enum TopKey : std::size_t { version, policy, normalization, changed, removed_counts, flagged_counts, spans, stats };

// Beyond this many stats templates, stats dicts are built key by key: the
// names come from the program, so the limit is never reached by any real
// mix of settings, only guards against an unbounded cache.
constexpr std::size_t MAX_STATS_TEMPLATES = 64;

// Sets dict[key] = value, taking over the new reference `value`.
bool set_item(PyObject* dict, PyObject* key, PyObject* value) {
  PyRef owned{value};
  return owned && PyDict_SetItem(dict, key, owned.get()) == 0;
}

bool set_named_item(PyObject* dict, NameCache& cache, std::string_view key, PyObject* value) {
  PyRef owned{value};
  if (!owned) return false;
  PyRef key_object{cached_name(cache, key)};
  return key_object && PyDict_SetItem(dict, key_object.get(), owned.get()) == 0;
}

// Counts and offsets repeat from one report to the next (the lengths of chat
// messages and the limits derived from them): below this bound one int
// object per value serves every report, which spares an allocation and a
// free per value. An int is immutable, so sharing one shows only in its
// identity, as with the small ints CPython itself shares.
constexpr std::uint64_t SHARED_INT_LIMIT = 4096;

PyObject* int_object(std::uint64_t value, ReportShapes& shapes) {
  if (value >= SHARED_INT_LIMIT) return PyLong_FromUnsignedLongLong(value);
  if (shapes.small_ints.empty()) shapes.small_ints.resize(SHARED_INT_LIMIT);
  PyRef& shared = shapes.small_ints[value];
  if (!shared) {
    shared = PyRef{PyLong_FromUnsignedLongLong(value)};
    if (!shared) return nullptr;
  }
  return Py_NewRef(shared.get());
}

PyObject* counts_to_dict(CountEntries counts, ReportShapes& shapes) {
  PyRef dict{PyDict_New()};
  if (!dict) return nullptr;
  for (const auto& [reason, count] : counts) {
    if (!set_named_item(dict.get(), shapes.names, reason, int_object(count, shapes))) return nullptr;
  }
  return dict.release();
}

// The keys of a span dict, in the order of the JSON form, found once per
// list: a report with spans holds thousands, and looking up five keys by
// text for each cost more than the rest of the dict.
constexpr std::array<std::string_view, 5> SPAN_KEYS = {"kind", "reason", "start", "end", "detail"};
using SpanKeys = std::array<PyRef, SPAN_KEYS.size()>;

PyObject* span_to_dict(const SpanEvent& span, const SpanKeys& keys, ReportShapes& shapes) {
  PyRef dict{PyDict_New()};
  if (!dict) return nullptr;
  char detail[max_code_point_detail];
  const char* const detail_end = write_code_point_detail(detail, span.code_point);
  const bool filled = set_item(dict.get(), keys[0].get(), cached_name(shapes.names, span.kind)) &&
                      set_item(dict.get(), keys[1].get(), cached_name(shapes.names, span.reason)) &&
                      set_item(dict.get(), keys[2].get(), int_object(span.start, shapes)) &&
                      set_item(dict.get(), keys[3].get(), int_object(span.end, shapes)) &&
                      set_item(dict.get(), keys[4].get(), PyUnicode_FromStringAndSize(detail, detail_end - detail));
  return filled ? dict.release() : nullptr;
}

PyObject* spans_to_list(std::span<const SpanEvent> spans, ReportShapes& shapes) {
  PyRef list{PyList_New(static_cast<Py_ssize_t>(spans.size()))};
  // Most reports have no spans, and finding the keys would cost them more
  // than the rest of the list.
  if (!list || spans.empty()) return list.release();
  SpanKeys keys;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    keys[i] = PyRef{cached_name(shapes.names, SPAN_KEYS[i])};
    if (!keys[i]) return nullptr;
  }
  for (std::size_t i = 0; i < spans.size(); ++i) {
    PyObject* span = span_to_dict(spans[i], keys, shapes);
    if (span == nullptr) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), span);  // steals the reference
  }
  return list.release();
}

// The JSON form writes a float that is not finite as null, which json.loads
// reads as None; every other value reads back as the same bool, int, float
// or str.
PyObject* stat_to_object(const StatValue& value, ReportShapes& shapes) {
  if (const bool* flag = std::get_if<bool>(&value)) return Py_NewRef(*flag ? Py_True : Py_False);
  if (const std::uint64_t* count = std::get_if<std::uint64_t>(&value)) return int_object(*count, shapes);
  if (const double* number = std::get_if<double>(&value)) {
    return std::isfinite(*number) ? PyFloat_FromDouble(*number) : Py_NewRef(Py_None);
  }
  return cached_name(shapes.names, std::get<std::string_view>(value));
}

HeldStat held(const StatValue& value) {
  return std::visit(
      [](auto plain) -> HeldStat {
        if constexpr (std::is_same_v<decltype(plain), std::string_view>) {
          return std::string(plain);
        } else {
          return plain;
        }
      },
      value);
}

// Whether `value` makes the same object as `template_value`. Floats compare
// by their bits: -0.0 equals 0.0 but is not the same float.
bool same_stat(const StatValue& value, const HeldStat& template_value) {
  if (value.index() != template_value.index()) return false;
  if (const bool* flag = std::get_if<bool>(&value)) return *flag == std::get<bool>(template_value);
  if (const std::uint64_t* count = std::get_if<std::uint64_t>(&value)) {
    return *count == std::get<std::uint64_t>(template_value);
  }
  if (const double* number = std::get_if<double>(&value)) {
    return std::bit_cast<std::uint64_t>(*number) == std::bit_cast<std::uint64_t>(std::get<double>(template_value));
  }
  return std::get<std::string_view>(value) == std::get<std::string>(template_value);
}

bool has_names(const StatsTemplate& shape, StatEntries stats, bool literal_names) {
  if (shape.names.size() != stats.size()) return false;
  std::size_t i = 0;
  for (const auto& [name, value] : stats) {
    const bool same_literal =
        literal_names && shape.name_addresses[i] == name.data() && shape.names[i].size() == name.size();
    if (!same_literal && shape.names[i] != name) return false;
    ++i;
  }
  return true;
}

PyObject* stats_to_dict_by_key(StatEntries stats, ReportShapes& shapes) {
  PyRef dict{PyDict_New()};
  if (!dict) return nullptr;
  for (const auto& [key, value] : stats) {
    if (!set_named_item(dict.get(), shapes.names, key, stat_to_object(value, shapes))) return nullptr;
  }
  return dict.release();
}

// Adds a template of this report's stats, its values those of the report;
// false with an exception set when it cannot be made.
bool add_stats_template(StatEntries stats, bool literal_names, ReportShapes& shapes) {
  StatsTemplate shape;
  shape.dict = PyRef{stats_to_dict_by_key(stats, shapes)};
  if (!shape.dict) return false;
  for (const auto& [name, value] : stats) {
    shape.names.emplace_back(name);
    shape.name_addresses.push_back(literal_names ? name.data() : nullptr);
    shape.values.push_back(held(value));
    shape.keys.emplace_back(cached_name(shapes.names, name));
    if (!shape.keys.back()) return false;
  }
  shapes.stats_templates.push_back(std::move(shape));
  return true;
}

const StatsTemplate* find_stats_template(StatEntries stats, bool literal_names, ReportShapes& shapes) {
  for (const StatsTemplate& shape : shapes.stats_templates) {
    if (has_names(shape, stats, literal_names)) return &shape;
  }
  return nullptr;
}

PyObject* stats_to_dict(StatEntries stats, bool literal_names, ReportShapes& shapes) {
  const StatsTemplate* shape = find_stats_template(stats, literal_names, shapes);
  if (shape == nullptr) {
    if (shapes.stats_templates.size() >= MAX_STATS_TEMPLATES) return stats_to_dict_by_key(stats, shapes);
    if (!add_stats_template(stats, literal_names, shapes)) return nullptr;
    shape = &shapes.stats_templates.back();
  }
  PyRef dict{PyDict_Copy(shape->dict.get())};
  if (!dict) return nullptr;
  std::size_t i = 0;
  for (const auto& [name, value] : stats) {
    if (!same_stat(value, shape->values[i]) &&
        !set_item(dict.get(), shape->keys[i].get(), stat_to_object(value, shapes))) {
      return nullptr;
    }
    ++i;
  }
  return dict.release();
}

// The top-level dict each report's dict is copied from, with this report's
// scalars: a batch repeats the same version, policy and normalization.
bool make_top_template(const ReportView& report, ReportShapes& shapes) {
  PyRef dict{PyDict_New()};
  if (!dict) return false;
  std::vector<PyRef> keys;
  for (std::string_view name : TOP_KEYS) {
    keys.emplace_back(cached_name(shapes.names, name));
    if (!keys.back() || PyDict_SetItem(dict.get(), keys.back().get(), Py_None) != 0) return false;
  }
  const bool filled = set_item(dict.get(), keys[version].get(), PyLong_FromUnsignedLong(report.report_version)) &&
                      set_item(dict.get(), keys[policy].get(), cached_name(shapes.names, report.policy)) &&
                      set_item(dict.get(), keys[normalization].get(), cached_name(shapes.names, report.normalization)) &&
                      PyDict_SetItem(dict.get(), keys[changed].get(), Py_False) == 0;
  if (!filled) return false;
  shapes.top_template = std::move(dict);
  shapes.top_keys = std::move(keys);
  shapes.template_version = report.report_version;
  shapes.template_policy = report.policy;
  shapes.template_normalization = report.normalization;
  return true;
}

}  // namespace

ReportView view_of(const SanitizeReport& report) {
  return {report.report_version, report.policy,         report.normalization, report.changed,
          report.removed_counts.entries, report.flagged_counts.entries, report.spans,
          report.stats.entries,          report.stats.literal_names};
}

PyObject* report_to_dict(const ReportView& report, ReportShapes& shapes) {
  if (!shapes.top_template && !make_top_template(report, shapes)) return nullptr;
  PyRef dict{PyDict_Copy(shapes.top_template.get())};
  if (!dict) return nullptr;
  PyObject* const target = dict.get();
  const auto set = [&](TopKey key, PyObject* value) { return set_item(target, shapes.top_keys[key].get(), value); };
  NameCache& names = shapes.names;
  const bool filled =
      (report.report_version == shapes.template_version ||
       set(version, int_object(report.report_version, shapes))) &&
      (report.policy == shapes.template_policy || set(policy, cached_name(names, report.policy))) &&
      (report.normalization == shapes.template_normalization ||
       set(normalization, cached_name(names, report.normalization))) &&
      (!report.changed || set(changed, Py_NewRef(Py_True))) &&
      set(removed_counts, counts_to_dict(report.removed_counts, shapes)) &&
      set(flagged_counts, counts_to_dict(report.flagged_counts, shapes)) &&
      set(spans, spans_to_list(report.spans, shapes)) &&
      set(stats, stats_to_dict(report.stats, report.literal_stat_names, shapes));
  return filled ? dict.release() : nullptr;
}

}  // namespace orlenta
