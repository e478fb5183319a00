#include "passes/removal_pass.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <vector>

#include "classes/code_point_classes.h"
#include "classes/emoji_flag_tags.h"
#include "classes/variation_sequences.h"
#include "normkit/normalize.h"
#include "passes/decision_filter.h"
#include "text/byte_block.h"
#include "text/utf8.h"

namespace orlenta {
namespace {

// The reasons of this pass. Text with many removable characters decides
// one per few code points, so the walk counts in an array and adds the
// totals to the report's maps once at the end.
enum Reason : std::uint8_t {
  bidi_control,
  bidi_mark,
  carriage_return,
  control_or_format,
  default_ignorable,
  invalid_variation_selector,
  junk_invisible,
  line_separator,
  tag_char,
  variation_selector_excess,
  reason_count,
};

static_assert(removal_reason_names.size() == reason_count);

using ReasonCounts = std::array<std::uint64_t, reason_count>;

// The state of one walk over the text under processing. The retained code
// points are written to the front of the same buffer: the write position
// never passes the read position, so the bytes from the current code point
// on are still those of the text under processing.
struct Walk {
  const ResolvedPolicy& policy;
  bool record_spans = false;
  Removal& result;
  std::string_view text;
  char* data;
  // Bytes retained so far, at the front of `data`.
  std::size_t written = 0;
  // The last retained code point that is not a non-selector default-ignorable
  // was a variation selector.
  bool previous_selector = false;
  // End of the protected tag sequence that follows the last flag: its tags
  // are retained with the flag, and the walk takes no decision before it.
  std::uint64_t protected_end = 0;
  ReasonCounts removed{};
  ReasonCounts flagged{};
  // Something was removed since the last retained code point.
  bool after_removal = false;
  // How many events the span vector is given room for at its first one;
  // 0 leaves it to grow as it needs (recording without a limit).
  std::size_t span_room = 0;
};

struct CodePoint {
  char32_t value;
  std::uint64_t start;
  std::uint64_t end;
};

void record_span(Walk& walk, std::string_view kind, Reason reason, const CodePoint& c) {
  std::vector<SpanEvent>& spans = walk.result.spans;
  // Room for every event the rest of the text can hold, up to the limit, at
  // the first one: text with hidden code points records thousands, and
  // growing the vector step by step copies them all several times over into
  // ever larger fresh blocks. A large block's untouched pages cost nothing.
  if (spans.capacity() == 0 && walk.span_room != 0) {
    spans.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(walk.span_room, walk.text.size() - c.start)));
  }
  spans.push_back(SpanEvent{kind, removal_reason_names[reason], c.start, c.end, code_point_detail(c.value)});
}

// The code point at `at` is the first one retained after a removal: it now
// follows the code point retained before the removal.
void note_junction(Walk& walk, std::size_t at) {
  walk.after_removal = false;
  // Every ASCII character has a boundary before it in both forms, and
  // removals between letters, the common case, are followed by one.
  if (static_cast<unsigned char>(walk.data[at]) < 0x80) return;
  std::size_t length = 0;
  const char32_t next = decode_utf8(walk.data + at, length);
  if (!normkit::has_boundary_before(next, walk.policy.normalization)) walk.result.joined_without_boundary = true;
}

// Keeps the bytes of [from, to), which lie at or after the write position.
// Between removals the stretches to move are short. Once removals have put
// the write position a block behind `to`, a stretch of up to a block is
// moved with one block-sized load and store: the store's surplus lands
// before `to`, on bytes already decided, and is written over by what is
// kept next. Otherwise the stretch is moved eight bytes at a time; each word
// is read before it is written over, and the write position only trails the
// read position, so a word's store never reaches bytes still to be read.
[[gnu::always_inline]] inline void keep_bytes(Walk& walk, std::size_t from, std::size_t to) {
  const std::size_t length = to - from;
  if (walk.after_removal && length != 0) note_junction(walk, from);
  if (walk.written != from) {
    char* const destination = walk.data + walk.written;
    const char* const source = walk.data + from;
    if (length <= block_size && walk.written + block_size <= to && from + block_size <= walk.text.size()) {
      const ByteBlock bytes = load_block(source);
      std::memcpy(destination, &bytes, sizeof bytes);
      walk.written += length;
      return;
    }
    std::size_t i = 0;
    for (; length - i >= 8; i += 8) {
      std::uint64_t word = 0;
      std::memcpy(&word, source + i, sizeof word);
      std::memcpy(destination + i, &word, sizeof word);
    }
    for (; i < length; ++i) destination[i] = source[i];
  }
  walk.written += length;
}

void push_output(Walk& walk, const CodePoint& c) {
  keep_bytes(walk, c.start, c.end);
  if (is_variation_selector(c.value)) {
    walk.previous_selector = true;
  } else if (!is_default_ignorable(c.value)) {
    walk.previous_selector = false;
  }
}

void remove_with(Walk& walk, Reason reason, const CodePoint& c) {
  ++walk.removed[reason];
  walk.after_removal = true;
  if (walk.record_spans) record_span(walk, "removed", reason, c);
}

void flag_with(Walk& walk, Reason reason, const CodePoint& c) {
  ++walk.flagged[reason];
  if (walk.record_spans) record_span(walk, "flag", reason, c);
}

void retain(Walk& walk, const CodePoint& c) { push_output(walk, c); }

// The last retained code point, which a variation selector modifies.
bool last_retained(const Walk& walk, char32_t& base) {
  if (walk.written == 0) return false;
  base = decode_last_utf8(walk.data, walk.data + walk.written);
  return true;
}

void decide_variation_selector(Walk& walk, const CodePoint& c) {
  const ResolvedPolicy& policy = walk.policy;
  if (walk.previous_selector) {
    remove_with(walk, variation_selector_excess, c);
    return;
  }
  char32_t base = 0;
  bool valid = false;
  if (last_retained(walk, base)) {
    valid = c.value >= 0xE0100 ? is_han_ideograph(base) : is_variation_sequence(base, c.value);
  }
  if (!valid) {
    flag_with(walk, invalid_variation_selector, c);
    ++walk.result.counters.invalid_variation_selectors;
  }
  if (policy.flag_default_ignorables) flag_with(walk, default_ignorable, c);
  retain(walk, c);
}

void remove_default_ignorable(Walk& walk, const CodePoint& c) {
  RemovalCounters& counters = walk.result.counters;
  ++counters.default_ignorable_removed;
  if (is_joiner(c.value)) {
    ++counters.default_ignorable_removed_joiner;
  } else if (is_variation_selector(c.value)) {
    ++counters.default_ignorable_removed_variation_selector;
  } else {
    ++counters.default_ignorable_removed_other;
  }
  remove_with(walk, default_ignorable, c);
}

void retain_and_look_for_flag_tags(Walk& walk, const CodePoint& c) {
  push_output(walk, c);
  if (c.value == waving_black_flag && !walk.policy.remove_default_ignorables &&
      starts_with_protected_flag_tags(walk.text.substr(c.end))) {
    walk.protected_end = c.start + 4 + flag_tags_utf8_length;
  }
}

// Removes, flags or retains one code point; the first matching test decides.
[[gnu::always_inline]] inline void decide(Walk& walk, const CodePoint& c) {
  const ResolvedPolicy& policy = walk.policy;
  const char32_t cp = c.value;
  // The joiners of emoji sequences, the decisions chat is fullest of, are in
  // no class the chain tests before default_ignorable, where they are never
  // flagged, and they start no flag tags.
  if (is_joiner(cp)) return policy.remove_default_ignorables ? remove_default_ignorable(walk, c) : retain(walk, c);
  if (is_carriage_return(cp)) return remove_with(walk, carriage_return, c);
  if (is_line_separator(cp)) return remove_with(walk, line_separator, c);
  if (policy.remove_bidi && is_bidi_control(cp)) return remove_with(walk, bidi_control, c);
  if (is_bidi_mark(cp)) {
    if (policy.remove_bidi_marks) return remove_with(walk, bidi_mark, c);
    if (policy.flag_bidi_marks) flag_with(walk, bidi_mark, c);
    return retain(walk, c);
  }
  if (is_tag_character(cp)) {
    if (policy.remove_tag_chars) return remove_with(walk, tag_char, c);
    // A retained tag is counted but deliberately leaves no span event.
    ++walk.flagged[tag_char];
    return retain(walk, c);
  }
  if (policy.cap_variation_selectors && is_variation_selector(cp)) return decide_variation_selector(walk, c);
  if (policy.remove_junk_invisibles && is_junk_invisible(cp)) return remove_with(walk, junk_invisible, c);
  if (policy.remove_other_controls && is_control_or_format(cp)) return remove_with(walk, control_or_format, c);
  if (policy.remove_default_ignorables && is_default_ignorable(cp)) return remove_default_ignorable(walk, c);
  if (policy.flag_default_ignorables && is_default_ignorable(cp) && !is_joiner(cp)) {
    flag_with(walk, default_ignorable, c);
    return retain(walk, c);
  }
  retain_and_look_for_flag_tags(walk, c);
}

// Adds the walk's counts to the result's maps.
void report_counts(const Walk& walk) {
  for (std::size_t reason = 0; reason < reason_count; ++reason) {
    if (walk.removed[reason] != 0) bump(walk.result.removed_counts, removal_reason_names[reason], walk.removed[reason]);
    if (walk.flagged[reason] != 0) bump(walk.result.flagged_counts, removal_reason_names[reason], walk.flagged[reason]);
  }
}

}  // namespace

Outcome<Removal> remove_characters(std::string text, const ResolvedPolicy& policy, SpanRecording recording) {
  Removal result;
  result.text = std::move(text);
  char* const data = result.text.data();
  const std::size_t size = result.text.size();
  Walk walk{policy, recording != SpanRecording::none, result, std::string_view(data, size), data};
  // An unlimited recording has a limit no vector can reach.
  const std::size_t span_limit =
      recording == SpanRecording::capped ? max_span_events : std::numeric_limits<std::size_t>::max();
  // One past the limit: the event that passes it ends the walk.
  if (recording == SpanRecording::capped) walk.span_room = span_limit + 1;
  // Retained stretches of ordinary code points are kept in one piece; the
  // walk stops only at the code points that need a decision.
  std::size_t pending = 0;
  const bool within_limit = for_each_decision(data, data + size, [&](const char* at) __attribute__((always_inline)) {
    const auto i = static_cast<std::size_t>(at - data);
    // The tags of a protected flag, retained whole: a tag is a
    // default-ignorable, which leaves the selector state as it is.
    if (i < walk.protected_end) return true;
    std::size_t length = 0;
    const char32_t cp = decode_utf8(at, length);
    if (pending != i) {
      keep_bytes(walk, pending, i);
      walk.previous_selector = false;
    }
    decide(walk, CodePoint{cp, i, i + length});
    pending = i + length;
    // Only decisions add events, so this is the one place they can pass the
    // limit.
    return !walk.record_spans || result.spans.size() <= span_limit;
  });
  if (!within_limit) return Error{std::string(span_limit_message)};
  keep_bytes(walk, pending, size);
  result.text.resize(walk.written);
  report_counts(walk);
  return result;
}

void write_removal_stats(StatsMap& stats, const RemovalCounters& counters, const ResolvedPolicy& policy) {
  stats.add("default_ignorable_removed", counters.default_ignorable_removed);
  stats.add("default_ignorable_removed_joiner", counters.default_ignorable_removed_joiner);
  stats.add("default_ignorable_removed_other", counters.default_ignorable_removed_other);
  // Tag characters have their own reason and are never counted here.
  stats.add("default_ignorable_removed_tag", std::uint64_t{0});
  stats.add("default_ignorable_removed_variation_selector", counters.default_ignorable_removed_variation_selector);
  stats.add("default_ignorable_stripped", policy.remove_default_ignorables);
  stats.add("invalid_variation_selector_count", counters.invalid_variation_selectors);
}

}  // namespace orlenta
