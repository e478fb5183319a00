// The per-character pass: walks the text under processing and keeps, in
// place, the code points it retains.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/outcome.h"
#include "policy/policy.h"
#include "report/report.h"

namespace orlenta {

// The reasons the pass removes or flags under, in name order.
inline constexpr std::array<std::string_view, 10> removal_reason_names = {
    "bidi_control",
    "bidi_mark",
    "carriage_return",
    "control_or_format",
    "default_ignorable",
    "invalid_variation_selector",
    "junk_invisible",
    "line_separator",
    "tag_char",
    "variation_selector_excess",
};

inline constexpr std::uint64_t max_span_events = 10000;
inline constexpr std::string_view span_limit_message =
    "span event limit exceeded (maximum 10000); disable return_spans or split the input";

// Which span events the pass records: none; at most max_span_events, for a
// report; or every one, for a scan that reports each code point and keeps
// its own memory in check.
enum class SpanRecording : std::uint8_t { none, capped, unlimited };

// What the pass counted beyond the report's maps, for the statistics.
struct RemovalCounters {
  std::uint64_t default_ignorable_removed = 0;
  std::uint64_t default_ignorable_removed_joiner = 0;
  std::uint64_t default_ignorable_removed_variation_selector = 0;
  std::uint64_t default_ignorable_removed_other = 0;
  std::uint64_t invalid_variation_selectors = 0;
};

// What the pass hands back.
struct Removal {
  // The retained code points.
  std::string text;
  CountMap removed_counts;
  CountMap flagged_counts;
  // One per removal or flag, when recorded.
  std::vector<SpanEvent> spans;
  RemovalCounters counters;
  // Set when a removal brought a code point next to the retained text before
  // it without a normalization boundary between them. The pass reads text in
  // the policy's form, and removals that only ever meet boundaries keep it in
  // that form, so the driver normalizes again only when this is set.
  bool joined_without_boundary = false;
};

// Decides every code point of `text`, the text under processing in the
// policy's normalization form, and keeps the retained ones: removals only
// shorten the text, so it is rewritten in place. Fails with
// span_limit_message when the recording is capped and the events would
// exceed max_span_events; the pass stops there.
Outcome<Removal> remove_characters(std::string text, const ResolvedPolicy& policy, SpanRecording recording);

// "default_ignorable_removed", its four parts, "default_ignorable_stripped"
// and "invalid_variation_selector_count".
void write_removal_stats(StatsMap& stats, const RemovalCounters& counters, const ResolvedPolicy& policy);

}  // namespace orlenta
