// Helpers shared by the signal scan tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "policy/policy.h"
#include "report/report.h"
#include "normkit/utf8.h"
#include "text/utf8.h"

namespace orlenta::signal_test {

// The thresholds of the built-in registry.
inline SignalSpec builtin_signals() { return SignalSpec{2000, 5.0, 200, 64, 0.2, 40}; }

inline std::string repeat(std::string_view piece, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

// Joins the parts by appending, which also keeps GCC 12's -Wrestrict false
// positive on `"literal" + std::string` temporaries away.
template <class... Parts>
std::string concat(const Parts&... parts) {
  std::string text;
  (text += ... += parts);
  return text;
}

inline std::string utf8(char32_t cp) {
  std::string text;
  normkit::utf8::append(text, cp);
  return text;
}

inline std::uint64_t flag_count(const SanitizeReport& report, std::string_view reason) {
  const auto it = report.flagged_counts.find(reason);
  return it == report.flagged_counts.end() ? 0 : it->second;
}

// The report a scan alone leaves: its statistics, sorted, and its flags.
template <class Measured, class WriteStats, class Flag>
SanitizeReport report_of(const Measured& measured, WriteStats write_stats, Flag flag) {
  SanitizeReport report;
  write_stats(report.stats, measured);
  report.stats.sort_by_name();
  flag(report, measured);
  return report;
}

template <class T>
T stat(const SanitizeReport& report, std::string_view key) {
  const auto it = report.stats.find(key);
  if (it == report.stats.end()) {
    ADD_FAILURE() << "missing stat " << key;
    return T{};
  }
  return std::get<T>(it->second);
}

}  // namespace orlenta::signal_test
