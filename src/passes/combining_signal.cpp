#include "passes/combining_signal.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "classes/code_point_classes.h"
#include "passes/utf8.h"

namespace orlenta {
namespace {

// A stack of this many marks is suspicious; it counts once however tall it
// grows.
constexpr std::uint64_t suspicious_stack_height = 5;
// This many suspicious stacks, or one stack this tall, is abuse on its own.
constexpr std::uint64_t excessive_suspicious_stacks = 3;
constexpr std::uint64_t excessive_stack_height = 8;

struct MarkCounts {
  std::uint64_t total = 0;
  std::uint64_t marks = 0;
  std::uint64_t stack_height = 0;
  std::uint64_t highest_stack = 0;
  std::uint64_t suspicious_stacks = 0;
};

// Length of the run of ASCII bytes that starts at `p`, read eight bytes at a
// time: ASCII never holds a mark and always breaks a stack, so the walk skips
// such runs whole.
std::size_t ascii_run_length(const char* p, const char* end) {
  constexpr std::uint64_t high_bits = 0x8080808080808080ULL;
  const char* q = p;
  while (end - q >= 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, q, sizeof word);
    if ((word & high_bits) != 0) break;
    q += 8;
  }
  while (q < end && static_cast<unsigned char>(*q) < 0x80) ++q;
  return static_cast<std::size_t>(q - p);
}

// What a code point does to the current stack.
enum StackEffect : std::uint8_t { breaks, grows, leaves };

StackEffect stack_effect(char32_t cp) {
  // Default-ignorables come first: those that are also marks (CGJ, the
  // variation selectors) neither grow a stack nor break it.
  if (is_default_ignorable(cp)) return leaves;
  return is_combining_mark(cp) ? grows : breaks;
}

// The effects of the whole BMP, worked out once per process (about 0.1 ms)
// from the class predicates: the mark test is a call into the normalization
// library's tables, which costs a quarter of the throughput on text where
// every other code point is a mark. With them, for each lead byte, whether
// any code point it begins may grow or leave a stack: most scripts have lead
// bytes under which none does (Latin letters with accents, Greek, Cyrillic,
// CJK, Hangul), and their code points are counted without being decoded.
struct EffectTables {
  std::array<StackEffect, 0x10000> bmp{};
  std::array<bool, 256> lead_may_not_break{};
};

const EffectTables& effect_tables() {
  static const EffectTables tables = [] {
    EffectTables built;
    for (char32_t cp = 0; cp < 0x10000; ++cp) built.bmp[cp] = stack_effect(cp);
    // Lead bytes of two and three bytes cover 64 and 4096 BMP code points;
    // four-byte code points are always decoded.
    for (unsigned lead = 0xC0; lead < 0xF0; ++lead) {
      const bool two_bytes = lead < 0xE0;
      const char32_t first = two_bytes ? char32_t{lead & 0x1Fu} << 6 : char32_t{lead & 0x0Fu} << 12;
      const char32_t count = two_bytes ? 64 : 4096;
      for (char32_t cp = first; cp < first + count; ++cp) {
        built.lead_may_not_break[lead] = built.lead_may_not_break[lead] || built.bmp[cp] != breaks;
      }
    }
    for (unsigned lead = 0xF0; lead < 0x100; ++lead) built.lead_may_not_break[lead] = true;
    return built;
  }();
  return tables;
}

void count_code_point(MarkCounts& counts, StackEffect effect) {
  ++counts.total;
  const bool mark = effect == grows;
  // Mark-heavy text alternates unpredictably between letters and marks, so
  // the counts are updated without branching on the effect.
  counts.marks += mark;
  counts.stack_height = mark ? counts.stack_height + 1 : (effect == leaves ? counts.stack_height : 0);
  counts.highest_stack = std::max(counts.highest_stack, counts.stack_height);
  counts.suspicious_stacks += mark && counts.stack_height == suspicious_stack_height;
}

MarkCounts count_marks(std::string_view text) {
  MarkCounts counts;
  const char* p = text.data();
  const char* const end = p + text.size();
  // A pure-ASCII text ends here, without building the table.
  counts.total = ascii_run_length(p, end);
  p += counts.total;
  if (p == end) return counts;

  const EffectTables& tables = effect_tables();
  while (p < end) {
    const auto lead = static_cast<unsigned char>(*p);
    if (lead < 0x80) {
      const std::size_t run = ascii_run_length(p, end);
      counts.total += run;
      counts.stack_height = 0;
      p += run;
      continue;
    }
    if (!tables.lead_may_not_break[lead]) {
      ++counts.total;
      counts.stack_height = 0;
      p += utf8_length(lead);
      continue;
    }
    std::size_t length = 0;
    const char32_t cp = decode_utf8(p, length);
    count_code_point(counts, cp < 0x10000 ? tables.bmp[cp] : stack_effect(cp));
    p += length;
  }
  return counts;
}

}  // namespace

CombiningSignals measure_combining_marks(std::string_view output, const SignalSpec& signals) {
  const MarkCounts counts = count_marks(output);
  CombiningSignals measured;
  measured.ratio =
      counts.total == 0 ? 0.0 : static_cast<double>(counts.marks) / static_cast<double>(counts.total);
  measured.max_stack = counts.highest_stack;
  measured.suspicious_stacks = counts.suspicious_stacks;
  measured.high_ratio = measured.ratio > signals.combining_ratio_threshold && counts.total > signals.combining_min_chars;
  measured.excessive_stack = counts.highest_stack >= excessive_stack_height ||
                             counts.suspicious_stacks >= excessive_suspicious_stacks ||
                             (counts.highest_stack >= suspicious_stack_height && measured.high_ratio);
  return measured;
}

void write_combining_stats(StatsMap& stats, const CombiningSignals& measured) {
  stats["combining_max_stack"] = measured.max_stack;
  stats["combining_ratio"] = measured.ratio;
  stats["combining_suspicious_stacks"] = measured.suspicious_stacks;
}

void flag_combining_abuse(SanitizeReport& report, const CombiningSignals& measured) {
  if (measured.high_ratio) bump_flagged(report, "high_combining_ratio", 1);
  if (measured.excessive_stack) bump_flagged(report, "excessive_combining_stack", 1);
}

void scan_combining_marks(std::string_view output, const SignalSpec& signals, SanitizeReport& report) {
  const CombiningSignals measured = measure_combining_marks(output, signals);
  write_combining_stats(report.stats, measured);
  flag_combining_abuse(report, measured);
}

}  // namespace orlenta
