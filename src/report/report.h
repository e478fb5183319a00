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

// The first entry of a sorted entry vector whose name is not below `name`.
template <class Entries>
auto first_not_below(Entries& entries, std::string_view name) {
  return std::lower_bound(entries.begin(), entries.end(), name,
                          [](const auto& entry, std::string_view key) { return entry.first < key; });
}

// Values under names, kept sorted by name in one vector. The names are views:
// every name the pipeline uses is a string literal, and a report lives no
// longer than the call that fills it. A report carries a couple of dozen
// statistics and is built on every sanitize call, where a node-based map
// costs one allocation per entry and one per long name.
//
// Adding a name greater than every present one appends, so a writer that
// adds its names in order pays one comparison each.
template <class Value>
struct NamedValues {
  using value_type = std::pair<std::string_view, Value>;
  using const_iterator = typename std::vector<value_type>::const_iterator;

  std::vector<value_type> entries;

  NamedValues() = default;
  // A repeated name keeps its first value.
  NamedValues(std::initializer_list<value_type> list) {
    for (const value_type& entry : list) {
      const auto at = first_not_below(entries, entry.first);
      if (at == entries.end() || at->first != entry.first) entries.insert(at, entry);
    }
  }

  Value& operator[](std::string_view name) {
    if (entries.empty() || entries.back().first < name) return entries.emplace_back(name, Value{}).second;
    const auto at = first_not_below(entries, name);
    if (at != entries.end() && at->first == name) return at->second;
    return entries.emplace(at, name, Value{})->second;
  }

  // Adds a name that sorts after every present one, without comparing: for
  // a writer whose names come in order.
  template <class Argument>
  void append(std::string_view name, Argument&& value) {
    entries.emplace_back(std::piecewise_construct, std::forward_as_tuple(name),
                         std::forward_as_tuple(std::forward<Argument>(value)));
  }

  const_iterator find(std::string_view name) const {
    const const_iterator at = first_not_below(entries, name);
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

void bump_removed(SanitizeReport& report, std::string_view reason, std::uint64_t n);
void bump_flagged(SanitizeReport& report, std::string_view reason, std::uint64_t n);

// "U+" and the code point in upper-case hex, at least four digits.
std::string code_point_detail(char32_t cp);

// Compact JSON: fixed key order at the top and in span events, sorted maps,
// shortest round-trip floats with a fraction, null for non-finite floats.
std::string report_to_json(const SanitizeReport& report);

}  // namespace orlenta
