#include "passes/removal_pass.h"

#include "classes/code_point_classes.h"
#include "classes/emoji_flag_tags.h"
#include "classes/variation_sequences.h"
#include "passes/decision_filter.h"
#include "passes/utf8.h"

namespace orlenta {
namespace {

// The state of one walk over the text under processing.
struct Walk {
  RemovalPass& pass;
  std::string_view text;
  // The last retained code point that is not a non-selector default-ignorable
  // was a variation selector.
  bool previous_selector = false;
  // End of the protected tag sequence that follows a flag; 0 for none.
  std::uint64_t protected_end = 0;
};

struct CodePoint {
  char32_t value;
  std::uint64_t start;
  std::uint64_t end;
};

void record_span(Walk& walk, const char* kind, std::string_view reason, const CodePoint& c) {
  walk.pass.report.spans.push_back(
      SpanEvent{kind, std::string(reason), c.start, c.end, code_point_detail(c.value)});
}

void push_output(Walk& walk, char32_t cp) {
  append_utf8(walk.pass.output, cp);
  if (is_variation_selector(cp)) {
    walk.previous_selector = true;
  } else if (!is_default_ignorable(cp)) {
    walk.previous_selector = false;
  }
}

void remove_with(Walk& walk, std::string_view reason, const CodePoint& c) {
  bump_removed(walk.pass.report, reason, 1);
  walk.pass.changed = true;
  if (walk.pass.return_spans) record_span(walk, "removed", reason, c);
  walk.protected_end = 0;
}

void flag_with(Walk& walk, std::string_view reason, const CodePoint& c) {
  bump_flagged(walk.pass.report, reason, 1);
  if (walk.pass.return_spans) record_span(walk, "flag", reason, c);
}

void retain(Walk& walk, char32_t cp) {
  push_output(walk, cp);
  walk.protected_end = 0;
}

// The last retained code point, which a variation selector modifies.
bool last_retained(const std::string& output, char32_t& base) {
  if (output.empty()) return false;
  base = decode_last_utf8(output.data(), output.data() + output.size());
  return true;
}

void decide_variation_selector(Walk& walk, const CodePoint& c) {
  const ResolvedPolicy& policy = walk.pass.policy;
  if (walk.previous_selector) {
    remove_with(walk, "variation_selector_excess", c);
    return;
  }
  char32_t base = 0;
  bool valid = false;
  if (last_retained(walk.pass.output, base)) {
    valid = c.value >= 0xE0100 ? is_han_ideograph(base) : is_variation_sequence(base, c.value);
  }
  if (!valid) {
    flag_with(walk, "invalid_variation_selector", c);
    ++walk.pass.counters.invalid_variation_selectors;
  }
  if (policy.flag_default_ignorables) flag_with(walk, "default_ignorable", c);
  retain(walk, c.value);
}

void remove_default_ignorable(Walk& walk, const CodePoint& c) {
  RemovalCounters& counters = walk.pass.counters;
  ++counters.default_ignorable_removed;
  if (is_joiner(c.value)) {
    ++counters.default_ignorable_removed_joiner;
  } else if (is_variation_selector(c.value)) {
    ++counters.default_ignorable_removed_variation_selector;
  } else {
    ++counters.default_ignorable_removed_other;
  }
  remove_with(walk, "default_ignorable", c);
}

void retain_and_look_for_flag_tags(Walk& walk, const CodePoint& c) {
  push_output(walk, c.value);
  walk.protected_end = 0;
  if (c.value == waving_black_flag && !walk.pass.policy.remove_default_ignorables &&
      starts_with_protected_flag_tags(walk.text.substr(c.end))) {
    walk.protected_end = c.start + 4 + flag_tags_utf8_length;
  }
}

// Removes, flags or retains one code point; the first matching test decides.
void decide(Walk& walk, const CodePoint& c) {
  const ResolvedPolicy& policy = walk.pass.policy;
  const char32_t cp = c.value;
  if (is_carriage_return(cp)) return remove_with(walk, "carriage_return", c);
  if (is_line_separator(cp)) return remove_with(walk, "line_separator", c);
  if (policy.remove_bidi && is_bidi_control(cp)) return remove_with(walk, "bidi_control", c);
  if (is_bidi_mark(cp)) {
    if (policy.remove_bidi_marks) return remove_with(walk, "bidi_mark", c);
    if (policy.flag_bidi_marks) flag_with(walk, "bidi_mark", c);
    return retain(walk, cp);
  }
  if (is_tag_character(cp)) {
    if (c.start < walk.protected_end) {
      push_output(walk, cp);
      if (c.end >= walk.protected_end) walk.protected_end = 0;
      return;
    }
    if (policy.remove_tag_chars) return remove_with(walk, "tag_char", c);
    // A retained tag is counted but deliberately leaves no span event.
    bump_flagged(walk.pass.report, "tag_char", 1);
    return retain(walk, cp);
  }
  if (policy.cap_variation_selectors && is_variation_selector(cp)) return decide_variation_selector(walk, c);
  if (policy.remove_junk_invisibles && is_junk_invisible(cp)) return remove_with(walk, "junk_invisible", c);
  if (policy.remove_other_controls && is_control_or_format(cp)) return remove_with(walk, "control_or_format", c);
  if (policy.remove_default_ignorables && is_default_ignorable(cp)) return remove_default_ignorable(walk, c);
  if (policy.flag_default_ignorables && is_default_ignorable(cp) && !is_joiner(cp)) {
    flag_with(walk, "default_ignorable", c);
    return retain(walk, cp);
  }
  retain_and_look_for_flag_tags(walk, c);
}

}  // namespace

bool run_removal_pass(RemovalPass& pass, std::string_view text) {
  Walk walk{pass, text};
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  // Retained stretches of ordinary code points are copied in one piece.
  const char* pending = begin;
  for (const char* p = begin; p < end;) {
    std::size_t length = 0;
    const char32_t cp = decode_utf8(p, length);
    if (!needs_decision(cp)) {
      p += length;
      continue;
    }
    pass.output.append(pending, p);
    if (pending != p) {
      walk.previous_selector = false;
      walk.protected_end = 0;
    }
    // Events are only added by code points that need a decision, so checking
    // here is the same as checking before every code point.
    if (span_limit_exceeded(pass.report)) return false;
    const auto start = static_cast<std::uint64_t>(p - begin);
    decide(walk, CodePoint{cp, start, start + length});
    p += length;
    pending = p;
  }
  pass.output.append(pending, end);
  return true;
}

}  // namespace orlenta
