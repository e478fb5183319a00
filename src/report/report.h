// The report of one sanitize call and its compact JSON form.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

namespace orlenta {

// Kinds and reasons are names fixed in the code (string literals), so an
// event only refers to them; recording one allocates nothing beyond the
// event itself.
struct SpanEvent {
  std::string_view kind;  // "removed" or "flag"
  std::string_view reason;
  std::uint64_t start = 0;  // byte offsets into the text under processing
  std::uint64_t end = 0;
  std::string detail;  // "U+XXXX"
};

// A statistic: JSON boolean, unsigned integer, float (null when not finite)
// or string.
using StatValue = std::variant<bool, std::uint64_t, double, std::string>;

// Values under names, in one vector. The names are views: every name the
// pipeline uses is a string literal, and a report lives no longer than the
// call that fills it. A report carries a couple of dozen statistics and is
// built on every sanitize call, where a node-based map costs one allocation
// per entry and one per long name.
//
// Each phase adds its own entries, in whatever order suits it, and knows no
// other phase's names; the driver sorts them by name once the report is
// complete, which is the order of the JSON form.
template <class Value>
struct NamedValues {
  using value_type = std::pair<std::string_view, Value>;
  using const_iterator = typename std::vector<value_type>::const_iterator;

  std::vector<value_type> entries;

  NamedValues() = default;
  // Sorted, and a repeated name keeps its first value.
  NamedValues(std::initializer_list<value_type> list) : entries(list) {
    sort_by_name();
    const auto same_name = [](const value_type& a, const value_type& b) { return a.first == b.first; };
    entries.erase(std::unique(entries.begin(), entries.end(), same_name), entries.end());
  }

  template <class Argument>
  void add(std::string_view name, Argument&& value) {
    entries.emplace_back(std::piecewise_construct, std::forward_as_tuple(name),
                         std::forward_as_tuple(std::forward<Argument>(value)));
  }

  // A stable insertion sort: the phases add runs that are in order already,
  // so most entries cost one comparison and few move.
  void sort_by_name() {
    for (std::size_t i = 1; i < entries.size(); ++i) {
      if (!(entries[i].first < entries[i - 1].first)) continue;
      value_type moving = std::move(entries[i]);
      std::size_t j = i;
      for (; j > 0 && moving.first < entries[j - 1].first; --j) entries[j] = std::move(entries[j - 1]);
      entries[j] = std::move(moving);
    }
  }

  // Once sorted.
  const_iterator find(std::string_view name) const {
    const const_iterator at = std::lower_bound(entries.begin(), entries.end(), name,
                                               [](const value_type& entry, std::string_view key) { return entry.first < key; });
    return at != entries.end() && at->first == name ? at : entries.end();
  }

  void reserve(std::size_t count) { entries.reserve(count); }
  std::size_t size() const { return entries.size(); }
  const_iterator begin() const { return entries.begin(); }
  const_iterator end() const { return entries.end(); }
};

using CountMap = std::map<std::string, std::uint64_t, std::less<>>;
using StatsMap = NamedValues<StatValue>;

struct SanitizeReport {
  std::uint32_t report_version = 1;
  std::string policy;
  std::string normalization;
  bool changed = false;
  CountMap removed_counts;
  CountMap flagged_counts;
  std::vector<SpanEvent> spans;
  StatsMap stats;
};

// Adds n under reason, which starts at 0.
void bump(CountMap& counts, std::string_view reason, std::uint64_t n);

void bump_removed(SanitizeReport& report, std::string_view reason, std::uint64_t n);
void bump_flagged(SanitizeReport& report, std::string_view reason, std::uint64_t n);

// "U+" and the code point in upper-case hex, at least four digits.
std::string code_point_detail(char32_t cp);

// Compact JSON: fixed key order at the top and in span events, sorted maps,
// shortest round-trip floats with a fraction, null for non-finite floats.
std::string report_to_json(const SanitizeReport& report);

}  // namespace orlenta
