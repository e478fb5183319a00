// The combining-mark signals: how much of the sanitized output is combining
// marks and how tall the stacks of consecutive marks grow ("Zalgo" text).
#pragma once

#include <cstdint>
#include <string_view>

#include "passes/text_census.h"
#include "policy/policy.h"
#include "report/report.h"

namespace orlenta {

// What the scan measured and the flags it raises.
struct CombiningSignals {
  double ratio = 0.0;
  std::uint64_t max_stack = 0;
  std::uint64_t suspicious_stacks = 0;
  bool high_ratio = false;
  bool excessive_stack = false;
};

CombiningSignals measure_combining_marks(std::string_view output, const SignalSpec& signals);

// The lead bytes under which some code point may grow or leave a stack, one
// bit each from 0xC0 up: a census settles the scan of a text without them,
// or of one whose distinct code points it lists, when none is a mark.
std::uint64_t combining_lead_bytes();

// The same as measure_combining_marks, settled without a scan when the
// census of the whole output shows only lead bytes under which no code point
// grows or leaves a stack (text in ASCII, Latin, Greek, Cyrillic, CJK or
// Hangul, for instance) or lists its distinct code points and no mark among
// them (emoji and symbols, for instance).
CombiningSignals measure_combining_marks_with_census(std::string_view output, const SignalSpec& signals,
                                                     const TextCensus& census);

// "combining_max_stack", "combining_ratio" and "combining_suspicious_stacks".
void write_combining_stats(StatsMap& stats, const CombiningSignals& measured);

// Bumps "high_combining_ratio" and "excessive_combining_stack", each at most
// once.
void flag_combining_abuse(SanitizeReport& report, const CombiningSignals& measured);

}  // namespace orlenta
