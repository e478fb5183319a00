// The compact JSON text of a report. The skeleton is written directly: the
// keys are fixed, and a report is serialized on every sanitize call, so
// building a general JSON document first would cost more than the rest of
// the writing.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "report/decimal.h"
#include "report/report.h"
#include "text/utf8.h"

namespace orlenta {
namespace {

// Whether eight bytes hold one that JSON text cannot carry as it is: below
// 0x20, 0x80 or above, the quotation mark or the backslash. (Each term
// leaves the high bit of such a byte set; a term may also mark a byte above
// one that it marks, which does not change the answer.)
constexpr bool needs_escaping(std::uint64_t word) {
  const std::uint64_t quote = word ^ (word_ones * '"');
  const std::uint64_t backslash = word ^ (word_ones * '\\');
  return ((word | ((word - word_ones * 0x20) & ~word) | ((quote - word_ones) & ~quote) |
           ((backslash - word_ones) & ~backslash)) &
          word_high_bits) != 0;
}

constexpr bool needs_escaping(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte >= 0x80 || byte == '"' || byte == '\\';
}

// The writer fills a buffer that was sized once, before writing, to an upper
// bound of the text: a report is serialized on every sanitize call, and
// growing a string piece by piece costs a capacity test and a call per
// piece.
struct JsonWriter {
  char* next;
};

void write_raw(JsonWriter& w, std::string_view text) {
  std::memcpy(w.next, text.data(), text.size());
  w.next += text.size();
}

void write_char(JsonWriter& w, char c) { *w.next++ = c; }

// At most every byte as a six-byte escape (\u00XX), or replaced by the three
// bytes of U+FFFD, and the quotes.
constexpr std::size_t string_bound(std::size_t length) { return 6 * length + 2; }

// The rare string that needs escapes, and non-ASCII kept as raw UTF-8. The
// strings of a report are valid UTF-8; should one not be, its bad bytes
// become U+FFFD rather than an exception.
[[gnu::noinline]] void write_escaped_string(JsonWriter& w, std::string_view text) {
  write_raw(w, nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

// Printable ASCII other than the quotation mark and the backslash is copied
// as it is. Every key and almost every value is such a name, so it is
// tested and copied eight bytes at a time, and the rare string that needs
// escapes is written again from its start. Returns whether it needed none.
inline bool write_string(JsonWriter& w, std::string_view text) {
  char* const out = w.next + 1;
  bool plain = true;
  if (text.size() >= 8) {
    for (std::size_t i = 0; i + 8 < text.size(); i += 8) {
      const std::uint64_t word = load_unaligned_word(text.data() + i);
      plain = plain && !needs_escaping(word);
      std::memcpy(out + i, &word, sizeof word);
    }
    // The last eight bytes, which may overlap the word before.
    const std::uint64_t last = load_unaligned_word(text.data() + text.size() - 8);
    plain = plain && !needs_escaping(last);
    std::memcpy(out + text.size() - 8, &last, sizeof last);
  } else if (text.size() >= 4) {
    // Short values, such as the Unicode versions every report names, as two
    // words of four bytes, which may overlap, tested as one.
    std::uint32_t head = 0;
    std::uint32_t tail = 0;
    std::memcpy(&head, text.data(), sizeof head);
    std::memcpy(&tail, text.data() + text.size() - 4, sizeof tail);
    plain = !needs_escaping(std::uint64_t{head} | (std::uint64_t{tail} << 32));
    std::memcpy(out, &head, sizeof head);
    std::memcpy(out + text.size() - 4, &tail, sizeof tail);
  } else {
    for (std::size_t i = 0; i < text.size(); ++i) {
      plain = plain && !needs_escaping(text[i]);
      out[i] = text[i];
    }
  }
  if (!plain) {
    write_escaped_string(w, text);
    return false;
  }
  *w.next = '"';
  out[text.size()] = '"';
  w.next = out + text.size() + 1;
  return true;
}

// A string already known to need no escapes.
inline void write_plain_string(JsonWriter& w, std::string_view text) {
  write_char(w, '"');
  write_raw(w, text);
  write_char(w, '"');
}

// A decimal unsigned 64-bit integer has at most 20 digits; the shortest form
// of a double at most 24 characters, and ".0" may follow.
constexpr std::size_t number_bound = 26;

void write_unsigned(JsonWriter& w, std::uint64_t value) { w.next = write_decimal(w.next, value); }

// std::to_chars gives the shortest text that reads back to the same double.
// Python must read it back as a float, so an integral value gets ".0".
void write_float(JsonWriter& w, double value) {
  if (!std::isfinite(value)) {
    write_raw(w, "null");
    return;
  }
  // Most reports hold a ratio of nothing, and std::to_chars takes a few
  // hundred instructions even for +0.0.
  if (std::bit_cast<std::uint64_t>(value) == 0) {
    write_raw(w, "0.0");
    return;
  }
  char* const start = w.next;
  w.next = std::to_chars(start, start + 24, value).ptr;
  if (std::string_view(start, static_cast<std::size_t>(w.next - start)).find_first_of(".e") == std::string_view::npos) {
    write_raw(w, ".0");
  }
}

// A value has room for number_bound bytes, so a boolean is copied as five
// bytes of fixed size (the terminating NUL of "true" is written over next).
void write_bool(JsonWriter& w, bool flag) {
  std::memcpy(w.next, flag ? "true" : "false", 5);
  w.next += flag ? 4 : 5;
}

// Inlined into the loops over the stats: a call per value cost a sixth of
// the writing.
[[gnu::always_inline]] inline void write_stat(JsonWriter& w, const StatValue& value) {
  if (const bool* flag = std::get_if<bool>(&value)) {
    write_bool(w, *flag);
  } else if (const std::uint64_t* count = std::get_if<std::uint64_t>(&value)) {
    write_unsigned(w, *count);
  } else if (const double* number = std::get_if<double>(&value)) {
    write_float(w, *number);
  } else {
    write_string(w, std::get<std::string_view>(value));
  }
}

std::size_t stat_bound(const StatValue& value) {
  const std::string_view* text = std::get_if<std::string_view>(&value);
  return text != nullptr ? string_bound(text->size()) : number_bound;
}

// Both maps are ordered by key, so the members come out sorted. Returns
// whether every key was written without escapes.
template <class Map, class WriteValue>
bool write_object(JsonWriter& w, const Map& map, WriteValue write_value) {
  write_char(w, '{');
  bool first = true;
  bool plain_keys = true;
  for (const auto& [key, value] : map) {
    if (!first) write_char(w, ',');
    first = false;
    plain_keys = write_string(w, key) && plain_keys;
    write_char(w, ':');
    write_value(w, value);
  }
  write_char(w, '}');
  return plain_keys;
}

bool same_views(const StatsMap& stats, const std::vector<std::string_view>& names) {
  if (stats.size() != names.size()) return false;
  std::size_t k = 0;
  for (const auto& entry : stats) {
    if (!same_view(entry.first, names[k])) return false;
    ++k;
  }
  return true;
}

// A sanitize call names its stats with the same string literals, in the
// same order, every time, and testing each byte of them for escapes was
// most of the writing. So each thread remembers the names of the last
// stats object of literal names that needed no escapes, and an object of
// the very same views (address and length, which identify a literal's
// text) has its names copied untested.
void write_stats(JsonWriter& w, const StatsMap& stats) {
  thread_local std::vector<std::string_view> plain_names;
  if (stats.literal_names && same_views(stats, plain_names)) {
    write_char(w, '{');
    bool first = true;
    for (const auto& [key, value] : stats) {
      if (!first) write_char(w, ',');
      first = false;
      write_plain_string(w, key);
      write_char(w, ':');
      write_stat(w, value);
    }
    write_char(w, '}');
    return;
  }
  if (write_object(w, stats, write_stat) && stats.literal_names) {
    plain_names.clear();
    for (const auto& entry : stats) plain_names.push_back(entry.first);
  }
}

// Each member: its key, its value and two separators.
template <class Map, class ValueBound>
std::size_t object_bound(const Map& map, ValueBound value_bound) {
  std::size_t bound = 2;
  for (const auto& [key, value] : map) bound += string_bound(key.size()) + value_bound(value) + 2;
  return bound;
}

constexpr std::string_view span_keys[] = {"{\"kind\":", ",\"reason\":", ",\"start\":", ",\"end\":",
                                          ",\"detail\":\"", "\"}"};

// The text of a span event up to its start offset, such as
// {"kind":"removed","reason":"bidi_control","start":
constexpr std::size_t span_head_bound(const SpanEvent& span) {
  return span_keys[0].size() + string_bound(span.kind.size()) + span_keys[1].size() +
         string_bound(span.reason.size()) + span_keys[2].size();
}

void write_span_head(JsonWriter& w, const SpanEvent& span) {
  write_raw(w, span_keys[0]);
  write_string(w, span.kind);
  write_raw(w, span_keys[1]);
  write_string(w, span.reason);
  write_raw(w, span_keys[2]);
}

// A report with spans names a few pairs of kind and reason thousands of
// times, and testing their bytes for escapes was most of the writing of an
// event. So the head of each pair is written once per report and copied
// from then on. A memo serves the writing of one report, whose views stay
// valid meanwhile: the same views (address and length) are the same text.
class SpanHeads {
 public:
  // The head of the span's pair, written at its first sight; empty when the
  // memo is full or the head may not fit in it, and the span's head is then
  // written as it comes. The pair's slot names the head found for it last,
  // which two pairs seldom share.
  std::string_view find(const SpanEvent& span) {
    std::uint8_t& slot = slots_[slot_of(span)];
    if (slot != 0 && same_pair(heads_[slot - 1], span)) return text_of(heads_[slot - 1]);
    for (std::size_t i = 0; i < count_; ++i) {
      if (same_pair(heads_[i], span)) {
        slot = static_cast<std::uint8_t>(i + 1);
        return text_of(heads_[i]);
      }
    }
    const std::string_view added = add(span);
    if (!added.empty()) slot = static_cast<std::uint8_t>(count_);
    return added;
  }

 private:
  static constexpr std::size_t capacity = 16;
  static constexpr std::size_t slot_count = 16;
  static constexpr std::size_t text_room = 112;
  static constexpr std::size_t scratch_room = 1024;

  // Left uninitialized until added: a report without spans, most of them,
  // then costs nothing here.
  struct Head {
    const SpanEvent* first;  // the event whose pair this is
    std::size_t size;
    char text[text_room];
  };

  static bool same_pair(const Head& head, const SpanEvent& span) {
    return same_view(head.first->kind, span.kind) && same_view(head.first->reason, span.reason);
  }
  static std::string_view text_of(const Head& head) { return {head.text, head.size}; }

  static std::size_t slot_of(const SpanEvent& span) {
    const auto key = reinterpret_cast<std::uintptr_t>(span.reason.data()) ^
                     (reinterpret_cast<std::uintptr_t>(span.kind.data()) << 7);
    static_assert(slot_count == 16, "the top four bits of the hash pick the slot");
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> 60);
  }

  // A head is written in full before it is known to fit: it is short
  // unless its names need escapes.
  std::string_view add(const SpanEvent& span) {
    if (count_ == capacity || span_head_bound(span) > scratch_room) return {};
    char scratch[scratch_room];
    JsonWriter w{scratch};
    write_span_head(w, span);
    const auto size = static_cast<std::size_t>(w.next - scratch);
    if (size > text_room) return {};
    Head& head = heads_[count_++];
    std::memcpy(head.text, scratch, size);
    head.first = &span;
    head.size = size;
    return {head.text, head.size};
  }

  Head heads_[capacity];
  std::size_t count_ = 0;
  std::uint8_t slots_[slot_count] = {};  // an index into heads_ plus one; 0 for none
};

void write_span(JsonWriter& w, const SpanEvent& span, SpanHeads& heads) {
  const std::string_view head = heads.find(span);
  if (head.empty()) {
    write_span_head(w, span);
  } else {
    write_raw(w, head);
  }
  write_unsigned(w, span.start);
  write_raw(w, span_keys[3]);
  write_unsigned(w, span.end);
  write_raw(w, span_keys[4]);
  w.next = write_code_point_detail(w.next, span.code_point);
  write_raw(w, span_keys[5]);
}

std::size_t span_bound(const SpanEvent& span, SpanHeads& heads) {
  const std::string_view head = heads.find(span);
  const std::size_t head_bound = head.empty() ? span_head_bound(span) : head.size();
  return head_bound + 2 * max_decimal_digits + span_keys[3].size() + span_keys[4].size() + max_code_point_detail +
         span_keys[5].size();
}

constexpr std::string_view report_keys[] = {"{\"report_version\":", ",\"policy\":",         ",\"normalization\":",
                                            ",\"changed\":",         ",\"removed_counts\":", ",\"flagged_counts\":",
                                            ",\"spans\":[",          "],\"stats\":"};

std::size_t report_bound(const SanitizeReport& report, SpanHeads& heads) {
  const auto count_bound = [](std::uint64_t) { return number_bound; };
  std::size_t bound = number_bound + string_bound(report.policy.size()) + string_bound(report.normalization.size()) +
                      5 + object_bound(report.removed_counts, count_bound) +
                      object_bound(report.flagged_counts, count_bound) + object_bound(report.stats, stat_bound) + 1;
  for (const std::string_view key : report_keys) bound += key.size();
  for (const SpanEvent& span : report.spans) bound += span_bound(span, heads) + 1;
  return bound;
}

// Writes from `out` on and returns the end; `out` has room for report_bound()
// with the same heads.
char* write_report(char* out, const SanitizeReport& report, SpanHeads& heads) {
  JsonWriter w{out};
  write_raw(w, report_keys[0]);
  write_unsigned(w, report.report_version);
  write_raw(w, report_keys[1]);
  write_string(w, report.policy);
  write_raw(w, report_keys[2]);
  write_string(w, report.normalization);
  write_raw(w, report_keys[3]);
  write_raw(w, report.changed ? "true" : "false");
  write_raw(w, report_keys[4]);
  write_object(w, report.removed_counts, write_unsigned);
  write_raw(w, report_keys[5]);
  write_object(w, report.flagged_counts, write_unsigned);
  write_raw(w, report_keys[6]);
  for (std::size_t i = 0; i < report.spans.size(); ++i) {
    if (i > 0) write_char(w, ',');
    write_span(w, report.spans[i], heads);
  }
  write_raw(w, report_keys[7]);
  write_stats(w, report.stats);
  write_char(w, '}');
  return w.next;
}

// The bound allows for every byte of every string escaped, several times
// what a report takes; a string of that size would be filled with zeros
// first, which cost more than the writing. So a report is written into a
// buffer of the thread's, whose bytes are zeroed only when it grows, and
// copied out at its own size. A report bigger than this is rare (many
// spans) and written into a string of its own, so no thread keeps more.
constexpr std::size_t kept_buffer_bytes = 64 * 1024;

// Writes the report into the thread's buffer and returns its text there,
// which the thread's next report overwrites; nullopt when the report may
// not fit.
std::optional<std::string_view> write_in_thread_buffer(const SanitizeReport& report, std::size_t bound,
                                                       SpanHeads& heads) {
  if (bound > kept_buffer_bytes) return std::nullopt;
  thread_local std::vector<char> buffer;
  if (buffer.size() < bound) buffer.resize(bound);
  return std::string_view(buffer.data(), static_cast<std::size_t>(write_report(buffer.data(), report, heads) - buffer.data()));
}

}  // namespace

std::string report_to_json(const SanitizeReport& report) {
  SpanHeads heads;
  const std::size_t bound = report_bound(report, heads);
  if (const std::optional<std::string_view> text = write_in_thread_buffer(report, bound, heads)) {
    return std::string(*text);
  }
  std::string out(bound, '\0');
  out.resize(static_cast<std::size_t>(write_report(out.data(), report, heads) - out.data()));
  return out;
}

void append_report_json(std::string& out, const SanitizeReport& report) {
  SpanHeads heads;
  const std::size_t bound = report_bound(report, heads);
  if (const std::optional<std::string_view> text = write_in_thread_buffer(report, bound, heads)) {
    out.append(*text);
    return;
  }
  const std::size_t start = out.size();
  out.resize(start + bound);
  out.resize(static_cast<std::size_t>(write_report(out.data() + start, report, heads) - out.data()));
}

}  // namespace orlenta
