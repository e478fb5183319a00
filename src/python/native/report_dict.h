// A report as the dict json.loads makes of its JSON text, built directly.
#pragma once

#include <Python.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "python/name_cache.h"
#include "python/py_ref.h"
#include "report/report.h"

namespace orlenta {

// A stats value as a template keeps it: its own copy of a string value.
using HeldStat = std::variant<bool, std::uint64_t, double, std::string>;

// A dict with one sequence of stats names as keys, in order, and the values
// of the first report that had them. The pipeline reports the same names
// for every text under the same settings, so a new stats dict is a copy of
// this one, which CPython makes with one block copy of the key table, with
// only the values that differ then replaced: far cheaper than inserting two
// dozen keys into a growing dict.
struct StatsTemplate {
  std::vector<std::string> names;
  // Where the first report's names were: when a report's names are all
  // string literals, as the pipeline's are, a name at the same address with
  // the same length is the same text, and comparing addresses spares
  // comparing the names' text. Names that may live in freed memory are
  // always compared by text.
  std::vector<const char*> name_addresses;
  std::vector<HeldStat> values;
  // The key objects in the same order, for replacing values by key.
  std::vector<PyRef> keys;
  PyRef dict;
};

// What report dicts are made from, kept from one report to the next: the
// str objects of the names, the top-level dict's keys, and the stats
// templates.
struct ReportShapes {
  NameCache names;
  // The top-level keys in order, with the version, policy and
  // normalization of the first report and changed False, the containers
  // None; see StatsTemplate.
  PyRef top_template;
  std::vector<PyRef> top_keys;
  std::uint32_t template_version = 0;
  std::string template_policy;
  std::string template_normalization;
  std::vector<StatsTemplate> stats_templates;
  // The int objects of small counts, made on first use.
  std::vector<PyRef> small_ints;
};

using CountEntries = std::span<const CountMap::value_type>;
using StatEntries = std::span<const StatsMap::value_type>;

// A report's contents wherever they are kept: a batch copies the reports of
// a chunk into a few shared vectors on the pipeline thread, so that each
// report's own memory is freed by the thread that allocated it.
struct ReportView {
  std::uint32_t report_version = 1;
  std::string_view policy;
  std::string_view normalization;
  bool changed = false;
  CountEntries removed_counts;
  CountEntries flagged_counts;
  std::span<const SpanEvent> spans;
  StatEntries stats;
  // See StatsMap::literal_names.
  bool literal_stat_names = false;
};

ReportView view_of(const SanitizeReport& report);

// A new dict with the same keys in the same order and values of the same
// types and values as json.loads(report_to_json(report)), or NULL with an
// exception set.
PyObject* report_to_dict(const ReportView& report, ReportShapes& shapes);
inline PyObject* report_to_dict(const SanitizeReport& report, ReportShapes& shapes) {
  return report_to_dict(view_of(report), shapes);
}

}  // namespace orlenta
