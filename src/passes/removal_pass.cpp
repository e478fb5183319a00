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
#include "passes/removal_decision.h"
#include "text/byte_block.h"
#include "text/utf8.h"

namespace orlenta {
namespace {

static_assert(removal_reason_names.size() == reason_count);

// What a decision that removes nothing returns in place of a reason.
inline constexpr Reason retained = reason_count;

// Text with many removable characters decides one per few code points, so
// the walk counts in an array and adds the totals to the report's maps once
// at the end.
using ReasonCounts = std::array<std::uint64_t, reason_count>;

// Where one walk over the text under processing stands. The retained code
// points are written to the front of the same buffer: the write position
// never passes the read position, so the bytes from the current code point
// on are still those of the text under processing. Every decision reads and
// moves these positions, so they are handed only to the steps inlined into
// the walk, which lets them live in registers.
struct Cursor {
  char* data;
  std::size_t size;
  // Bytes retained so far, at the front of `data`.
  std::size_t written = 0;
  // Start of the retained bytes that are still where they were read: they
  // run up to the code point in hand, and move only when a removal ends
  // them, so that retained decisions and the stretches between them cost
  // no move of their own. It moves only at removals, so it is 0 until the
  // first one.
  std::size_t kept_from = 0;
  // End of the last decided code point.
  std::size_t decided_end = 0;
  // End of the protected tag sequence that follows the last flag: its tags
  // are retained with the flag, and the walk takes no decision before it.
  std::uint64_t protected_end = 0;
  // The last retained code point that is not a non-selector default-ignorable
  // was a variation selector.
  bool previous_selector = false;
};

// What one walk counts and records.
struct Walk {
  const ResolvedPolicy& policy;
  bool record_spans = false;
  Removal& result;
  std::size_t text_size = 0;
  ReasonCounts removed{};
  ReasonCounts flagged{};
  // The last base and selector looked up, and whether they make a variation
  // sequence: text repeats its emoji, each with its selector. No selector is
  // 0, so nothing matches before the first lookup.
  char32_t looked_up_base = 0;
  char32_t looked_up_selector = 0;
  bool looked_up_valid = false;
  // The action of each decision class under the policy.
  const ClassActions& actions = class_actions(policy);
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
    spans.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(walk.span_room, walk.text_size - c.start)));
  }
  spans.push_back(SpanEvent{kind, removal_reason_names[reason], c.start, c.end, c.value});
}

// The code point at `p`, which is not ASCII, now follows the code point
// retained before a removal.
[[gnu::noinline]] void note_junction_outside_ascii(Walk& walk, const char* p) {
  std::size_t length = 0;
  const char32_t next = decode_utf8(p, length);
  if (!normkit::has_boundary_before(next, walk.policy.normalization)) walk.result.joined_without_boundary = true;
}

// The retained bytes not yet moved, up to `to`, are about to move: the
// first of their code points follows a removal, unless nothing was removed
// yet (the bytes start where the text does) or there are none. Every ASCII
// character has a boundary before it in both forms, and removals between
// letters, the common case, are followed by one. The conditions are taken
// together, as one test that hostile text seldom passes, where separate
// tests would each go either way at random; the byte read is in the text
// or its terminating NUL.
[[gnu::always_inline]] inline void note_junction(const Cursor& cursor, Walk& walk, std::size_t to) {
  const std::size_t at = cursor.kept_from;
  if ((at != 0) & (at != to) & (static_cast<unsigned char>(cursor.data[at]) >= 0x80)) {
    note_junction_outside_ascii(walk, cursor.data + at);
  }
}

// Keeps the bytes of [from, to), which lie at or after the write position.
// Between removals the stretches to move are short. Once removals have put
// the write position a block behind `to`, a stretch of up to a block is
// moved with one block-sized load and store: the store's surplus lands
// before `to`, on bytes already moved or removed, and is written over by
// what is kept next. Otherwise the stretch is moved eight bytes at a time;
// each word is read before it is written over, and the write position only
// trails the read position, so a word's store never reaches bytes still to
// be read.
[[gnu::always_inline]] inline void keep_bytes(Cursor& cursor, std::size_t from, std::size_t to) {
  const std::size_t length = to - from;
  if (cursor.written != from) {
    char* const destination = cursor.data + cursor.written;
    const char* const source = cursor.data + from;
    if (length <= block_size && cursor.written + block_size <= to && from + block_size <= cursor.size) {
      const ByteBlock bytes = load_block(source);
      std::memcpy(destination, &bytes, sizeof bytes);
      cursor.written += length;
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
  cursor.written += length;
}

// The code point in hand, of a class with the given effect, is retained: it
// joins the retained bytes before it.
[[gnu::always_inline]] inline Reason retain(Cursor& cursor, SelectorEffect effect) {
  cursor.previous_selector = (cursor.previous_selector & effect.keeps) | effect.sets;
  return retained;
}

// The one place the walk removes, for every reason: the retained bytes
// before the code point in hand move up to the write position.
[[gnu::always_inline]] inline void remove_with(Cursor& cursor, Walk& walk, Reason reason, const CodePoint& c) {
  note_junction(cursor, walk, c.start);
  keep_bytes(cursor, cursor.kept_from, c.start);
  cursor.kept_from = c.end;
  ++walk.removed[reason];
  if (walk.record_spans) record_span(walk, "removed", reason, c);
}

[[gnu::always_inline]] inline void flag_with(Walk& walk, Reason reason, const CodePoint& c) {
  ++walk.flagged[reason];
  if (walk.record_spans) record_span(walk, "flag", reason, c);
}

// The last retained code point before the one in hand, which a variation
// selector modifies: the last of the bytes not yet moved, if there are any.
[[gnu::always_inline]] inline bool last_retained(const Cursor& cursor, const CodePoint& c, char32_t& base) {
  if (cursor.kept_from != c.start) {
    base = decode_last_utf8(cursor.data + cursor.kept_from, cursor.data + c.start);
    return true;
  }
  if (cursor.written == 0) return false;
  base = decode_last_utf8(cursor.data, cursor.data + cursor.written);
  return true;
}

// The flags of a retained variation selector, which follows `base` when
// there is a retained code point before it.
void flag_selector(Walk& walk, const CodePoint& c, bool has_base, char32_t base) {
  if (has_base && (base != walk.looked_up_base || c.value != walk.looked_up_selector)) {
    walk.looked_up_base = base;
    walk.looked_up_selector = c.value;
    walk.looked_up_valid = c.value >= 0xE0100 ? is_han_ideograph(base) : is_variation_sequence(base, c.value);
  }
  const bool valid = has_base && walk.looked_up_valid;
  if (!valid) {
    flag_with(walk, invalid_variation_selector, c);
    ++walk.result.counters.invalid_variation_selectors;
  }
  if (walk.policy.flag_default_ignorables) flag_with(walk, default_ignorable, c);
}

[[gnu::always_inline]] inline Reason decide_variation_selector(Cursor& cursor, Walk& walk, const CodePoint& c) {
  if (cursor.previous_selector) return variation_selector_excess;
  char32_t base = 0;
  const bool has_base = last_retained(cursor, c, base);
  flag_selector(walk, c, has_base, base);
  return retain(cursor, SelectorEffect{.keeps = false, .sets = true});
}

Reason remove_default_ignorable(Walk& walk, const CodePoint& c) {
  RemovalCounters& counters = walk.result.counters;
  ++counters.default_ignorable_removed;
  if (is_joiner(c.value)) {
    ++counters.default_ignorable_removed_joiner;
  } else if (is_variation_selector(c.value)) {
    ++counters.default_ignorable_removed_variation_selector;
  } else {
    ++counters.default_ignorable_removed_other;
  }
  return default_ignorable;
}

Reason retain_and_look_for_flag_tags(Cursor& cursor, const Walk& walk, const CodePoint& c, SelectorEffect effect) {
  retain(cursor, effect);
  if (c.value == waving_black_flag && !walk.policy.remove_default_ignorables &&
      starts_with_protected_flag_tags(std::string_view(cursor.data + c.end, cursor.size - c.end))) {
    cursor.protected_end = c.start + 4 + flag_tags_utf8_length;
  }
  return retained;
}

// Flags or retains one code point that needs a decision, or returns the
// reason to remove it under.
[[gnu::always_inline]] inline Reason decide(Cursor& cursor, Walk& walk, const CodePoint& c) {
  const auto [action, effect] = walk.actions[decision_class(c.value)];
  // The steps that hostile text and chat are full of are tested on their
  // own, ahead of a jump through a table, which would go either way at
  // random.
  if (action.step == Step::remove) return action.reason;
  if (action.step == Step::decide_variation_selector) return decide_variation_selector(cursor, walk, c);
  if (action.step == Step::retain) return retain(cursor, effect);
  switch (action.step) {
    case Step::remove_default_ignorable:
      return remove_default_ignorable(walk, c);
    case Step::flag:
      flag_with(walk, action.reason, c);
      return retain(cursor, effect);
    case Step::count_retained_tag:
      ++walk.flagged[tag_char];
      return retain(cursor, effect);
    case Step::retain_and_look_for_flag_tags:
    case Step::remove:
    case Step::decide_variation_selector:
    case Step::retain:
      break;
  }
  return retain_and_look_for_flag_tags(cursor, walk, c, effect);
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
  Cursor cursor{data, size};
  Walk walk{policy, recording != SpanRecording::none, result, size};
  // An unlimited recording has a limit no vector can reach.
  const std::size_t span_limit =
      recording == SpanRecording::capped ? max_span_events : std::numeric_limits<std::size_t>::max();
  // One past the limit: the event that passes it ends the walk.
  if (recording == SpanRecording::capped) walk.span_room = span_limit + 1;
  // The walk stops only at the code points that need a decision.
  const bool within_limit = for_each_decision(data, data + size, [&](const char* at) __attribute__((always_inline)) {
    const auto i = static_cast<std::size_t>(at - data);
    // The tags of a protected flag, retained whole: a tag is a
    // default-ignorable, which leaves the selector state as it is.
    if (i < cursor.protected_end) return true;
    std::size_t length = 0;
    // Four bytes from the code point on would pass the end of the last ones.
    const char32_t cp = size - i >= 4 ? decode_from_four_bytes(at, length) : decode_utf8(at, length);
    // Ordinary code points retained since the last decision.
    cursor.previous_selector &= cursor.decided_end == i;
    const CodePoint c{cp, i, i + length};
    const Reason reason = decide(cursor, walk, c);
    if (reason != retained) remove_with(cursor, walk, reason, c);
    cursor.decided_end = i + length;
    // Only decisions add events, so this is the one place they can pass the
    // limit.
    return !walk.record_spans || result.spans.size() <= span_limit;
  });
  if (!within_limit) return Error{std::string(span_limit_message)};
  note_junction(cursor, walk, size);
  keep_bytes(cursor, cursor.kept_from, size);
  result.text.resize(cursor.written);
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
