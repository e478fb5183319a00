// The per-character pass: walks the text under processing and keeps, in
// place, the code points it retains.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "policy/policy.h"
#include "report/report.h"

namespace orlenta {

inline constexpr std::uint64_t max_span_events = 10000;
inline constexpr std::string_view span_limit_message =
    "span event limit exceeded (maximum 10000); disable return_spans or split the input";

inline bool span_limit_exceeded(const SanitizeReport& report) {
  return report.spans.size() > max_span_events;
}

// What the pass counted beyond the report's maps; the driver turns these
// into statistics.
struct RemovalCounters {
  std::uint64_t default_ignorable_removed = 0;
  std::uint64_t default_ignorable_removed_joiner = 0;
  std::uint64_t default_ignorable_removed_variation_selector = 0;
  std::uint64_t default_ignorable_removed_other = 0;
  std::uint64_t invalid_variation_selectors = 0;
};

// Working state the driver hands to the pass and reads back afterwards.
// `text` holds the text under processing when the pass starts and the
// retained code points when it ends: removals only shorten it, so it is
// rewritten in place and no second buffer is needed.
struct RemovalPass {
  const ResolvedPolicy& policy;
  bool return_spans = false;
  std::string& text;
  SanitizeReport& report;
  bool& changed;
  RemovalCounters counters;
  // Set when a removal brought a code point next to the retained text before
  // it without a normalization boundary between them. The pass reads text in
  // the policy's form, and removals that only ever meet boundaries keep it in
  // that form, so the driver normalizes again only when this is set.
  bool joined_without_boundary = false;
};

// Runs the pass over `pass.text`. Returns false when the span-event limit
// stopped it; the caller then discards text and report.
bool run_removal_pass(RemovalPass& pass);

}  // namespace orlenta
