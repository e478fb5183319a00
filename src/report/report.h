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
// or string. A string value names a setting or a data version fixed in the
// program, so it is a view, as the names are; an entry is then copied as a
// few words, which sorting the entries does on every call.
using StatValue = std::variant<bool, std::uint64_t, double, std::string_view>;

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

  // Sorts stably. The phases add the same names in the same order on every
  // call, so the order that sorted the last list on this thread is tried
  // first: checking it costs one comparison per entry, where finding it
  // costs several, and each entry is then moved once. A list it does not
  // sort gets its own order, which is kept for the next one.
  void sort_by_name() {
    thread_local SortOrder last;
    if (!sorts_stably(last.order)) find_stable_order(last.order);
    permute(last.order, last.targets);
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

 private:
  // order[k]: the index of the entry that goes to place k.
  struct SortOrder {
    std::vector<std::size_t> order;
    std::vector<std::size_t> targets;  // room for permute(), kept between calls
  };

  // Whether `order` is a permutation of the entries that puts their names
  // in order, keeping equal names in the order they were added.
  bool sorts_stably(const std::vector<std::size_t>& order) const {
    if (order.size() != entries.size()) return false;
    for (std::size_t k = 1; k < order.size(); ++k) {
      const int sign = entries[order[k - 1]].first.compare(entries[order[k]].first);
      if (sign > 0 || (sign == 0 && order[k - 1] > order[k])) return false;
    }
    return true;
  }

  // A stable insertion sort of the indices: the phases add runs that are in
  // order already, so most cost one comparison.
  void find_stable_order(std::vector<std::size_t>& order) const {
    order.resize(entries.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
      std::size_t k = i;
      for (; k > 0 && entries[i].first < entries[order[k - 1]].first; --k) order[k] = order[k - 1];
      order[k] = i;
    }
  }

  // Moves entry order[k] to place k, following each cycle of the
  // permutation with swaps.
  void permute(const std::vector<std::size_t>& order, std::vector<std::size_t>& targets) {
    targets.resize(order.size());
    for (std::size_t k = 0; k < order.size(); ++k) targets[order[k]] = k;
    for (std::size_t i = 0; i < targets.size(); ++i) {
      while (targets[i] != i) {
        const std::size_t target = targets[i];
        std::swap(entries[i], entries[target]);
        std::swap(targets[i], targets[target]);
      }
    }
  }
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
