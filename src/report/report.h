// The report of one sanitize call and its compact JSON form.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace orlenta {

struct SpanEvent {
  std::string kind;    // "removed" or "flag"
  std::string reason;
  std::uint64_t start = 0;  // byte offsets into the text under processing
  std::uint64_t end = 0;
  std::string detail;  // "U+XXXX"
};

// A statistic: JSON boolean, unsigned integer, float (null when not finite)
// or string.
using StatValue = std::variant<bool, std::uint64_t, double, std::string>;

using CountMap = std::map<std::string, std::uint64_t, std::less<>>;
using StatsMap = std::map<std::string, StatValue, std::less<>>;

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
