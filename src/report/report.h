// The report of one sanitize call and its compact JSON form.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

namespace orlenta {

// Whether two views are the very same text in memory: one string literal
// is the same text wherever its view is taken, so views of literals compare
// by address and length instead of byte by byte.
inline bool same_view(std::string_view a, std::string_view b) { return a.data() == b.data() && a.size() == b.size(); }

// Kinds and reasons are names fixed in the code (string literals), so an
// event only refers to them, and its detail is held as the code point it
// names: recording one allocates nothing beyond the event itself, and an
// event is a few words that move as plain bytes when the list grows.
struct SpanEvent {
  std::string_view kind;  // "removed" or "flag"
  std::string_view reason;
  std::uint64_t start = 0;  // byte offsets into the text under processing
  std::uint64_t end = 0;
  char32_t code_point = 0;  // the detail, written as code_point_detail() has it
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

  // Inlined where the phases add their entries, with the growth out of
  // line: a report takes two dozen, and a call each cost more than storing
  // them.
  template <class Argument>
  [[gnu::always_inline]] void add(std::string_view name, Argument&& value) {
    if (entries.size() == entries.capacity()) [[unlikely]] make_room();
    entries.push_back(value_type(name, Value(std::forward<Argument>(value))));
  }

  // Sorts stably by name. Lists of the same length tend to need the same
  // order, so the order that sorted the last list on this thread is tried
  // first; checking it costs one comparison per entry, where finding one
  // costs several.
  void sort_by_name() {
    SortOrder& last = last_sort();
    if (!sorts_stably(last.order)) find_stable_order(last.order);
    remember_added(last);
    take_in_order(last);
  }

  // The same, for a list whose names are all string literals, as the
  // pipeline's are: a literal's address and length identify its text. The
  // phases add the same names in the same order on every call, so when each
  // entry is the very view added at its place to the list the remembered
  // order sorted, the list holds the very names of that list, and no text is
  // compared. Other names, or equal text at other addresses, are sorted by
  // text. A list of other names never takes this shortcut: a name in memory
  // that is freed and reused could come back at the same address with other
  // text.
  void sort_literal_names() {
    SortOrder& last = last_sort();
    literal_names = true;
    if (!placed_as_before(last)) sort_by_name();
  }

  // Set by sort_literal_names(): every name is a string literal.
  bool literal_names = false;

  // Once sorted.
  const_iterator find(std::string_view name) const {
    const const_iterator at = std::lower_bound(entries.begin(), entries.end(), name,
                                               [](const value_type& entry, std::string_view key) { return entry.first < key; });
    return at != entries.end() && at->first == name ? at : entries.end();
  }
  bool contains(std::string_view name) const { return find(name) != end(); }
  const Value& at(std::string_view name) const {
    const const_iterator entry = find(name);
    if (entry == end()) throw std::out_of_range("no entry named " + std::string(name));
    return entry->second;
  }

  void reserve(std::size_t count) { entries.reserve(count); }
  bool empty() const { return entries.empty(); }
  std::size_t size() const { return entries.size(); }
  const_iterator begin() const { return entries.begin(); }
  const_iterator end() const { return entries.end(); }

 private:
  // An entry's name and the place the order puts it in: held together, as
  // the one pass that checks and places the entries reads them.
  struct Placement {
    std::string_view name;
    std::size_t place = 0;
  };

  struct SortOrder {
    std::vector<std::size_t> order;  // order[k]: the index of the entry that goes to place k
    std::vector<Placement> added;  // the list the order sorted, as it was added
    std::vector<value_type> placed;  // the sorted copy, and storage kept between calls
  };

  // One per thread, shared by both sorts: a view of a string literal can
  // match a remembered view only if that one was the same literal.
  static SortOrder& last_sort() {
    thread_local SortOrder last;
    return last;
  }

  [[gnu::noinline]] void make_room() { entries.reserve(std::max<std::size_t>(8, 2 * entries.capacity())); }

  void remember_added(SortOrder& sort) const {
    sort.added.resize(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) sort.added[i].name = entries[i].first;
    for (std::size_t k = 0; k < entries.size(); ++k) sort.added[sort.order[k]].place = k;
  }

  // The list takes the copy of its entries in `sort.order`; its own storage
  // is kept for the next copy.
  void take_in_order(SortOrder& sort) {
    sort.placed.resize(entries.size());
    for (std::size_t k = 0; k < entries.size(); ++k) sort.placed[k] = entries[sort.order[k]];
    entries.swap(sort.placed);
  }

  // Whether each entry is the view remembered at its place; if so, the list
  // takes its entries in the remembered order. One pass reads the entries
  // and the remembered names straight through, checking each entry and
  // copying it to its place, where checking all first and then gathering
  // them in order read the entries twice. At the first other name the
  // partial copy is left, to be overwritten by the next.
  bool placed_as_before(SortOrder& sort) {
    const std::size_t count = entries.size();
    if (sort.added.size() != count) return false;
    sort.placed.resize(count);
    // Held in locals: each copy is stored as bytes, which could alias the
    // vectors' own pointers, so they would be loaded again on every entry.
    const value_type* const added = entries.data();
    const Placement* const remembered = sort.added.data();
    value_type* const placed = sort.placed.data();
    for (std::size_t k = 0; k < count; ++k) {
      if (!same_view(added[k].first, remembered[k].name)) return false;
      placed[remembered[k].place] = added[k];
    }
    entries.swap(sort.placed);
    return true;
  }

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
};

// Counts under reason names, kept sorted by bump(). The reasons are names
// fixed in the code, like the names of the stats; a report counts a few at
// most, so one small vector serves where a node-based map costs an
// allocation per reason.
using CountMap = NamedValues<std::uint64_t>;
using StatsMap = NamedValues<StatValue>;

// The policy name views the process-wide registry's own copy, and the
// normalization is a fixed name: neither is copied into a report.
struct SanitizeReport {
  std::uint32_t report_version = 1;
  std::string_view policy;
  std::string_view normalization;
  bool changed = false;
  CountMap removed_counts;
  CountMap flagged_counts;
  std::vector<SpanEvent> spans;
  StatsMap stats;
};

// Adds n under reason, which starts at 0, keeping the names in order.
void bump(CountMap& counts, std::string_view reason, std::uint64_t n);

void bump_removed(SanitizeReport& report, std::string_view reason, std::uint64_t n);
void bump_flagged(SanitizeReport& report, std::string_view reason, std::uint64_t n);

// "U+" and the code point in upper-case hex, at least four digits: the
// detail of a span event.
std::string code_point_detail(char32_t cp);

// The longest detail: "U+" and eight digits.
inline constexpr std::size_t max_code_point_detail = 10;

namespace report_internal {

// "00" to "FF": the hex digits of each byte.
inline constexpr std::array<char, 512> hex_pairs = [] {
  constexpr char digits[] = "0123456789ABCDEF";
  std::array<char, 512> pairs{};
  for (std::size_t byte = 0; byte < 256; ++byte) {
    pairs[2 * byte] = digits[byte >> 4];
    pairs[2 * byte + 1] = digits[byte & 0xF];
  }
  return pairs;
}();

}  // namespace report_internal

// Writes the detail from `out` on, which has room for max_code_point_detail
// bytes, and returns its end. Reports with spans write thousands, two
// digits at a time.
inline char* write_code_point_detail(char* out, char32_t cp) {
  using report_internal::hex_pairs;
  auto value = static_cast<std::uint32_t>(cp);
  const auto digits = static_cast<std::size_t>(value <= 0xFFFF ? 4 : (std::bit_width(value) + 3) / 4);
  out[0] = 'U';
  out[1] = '+';
  char* const end = out + 2 + digits;
  char* next = end;
  for (std::size_t left = digits; left >= 2; left -= 2) {
    next -= 2;
    std::memcpy(next, &hex_pairs[2 * (value & 0xFF)], 2);
    value >>= 8;
  }
  if (digits % 2 != 0) next[-1] = hex_pairs[2 * (value & 0xF) + 1];
  return end;
}

// Compact JSON: fixed key order at the top and in span events, sorted maps,
// shortest round-trip floats with a fraction, null for non-finite floats.
std::string report_to_json(const SanitizeReport& report);

// The same text appended to `out`: a caller that gathers many reports in one
// buffer is spared a string, its allocation and a copy, per report.
void append_report_json(std::string& out, const SanitizeReport& report);

}  // namespace orlenta
