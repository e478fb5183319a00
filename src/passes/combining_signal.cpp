#include "passes/combining_signal.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "classes/code_point_classes.h"
#include "text/block_reader.h"
#include "text/byte_block.h"
#include "text/utf8.h"

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

// The lead bytes of lead_may_not_break, for sixteen bytes at once, as a few
// ranges: U+00AD under 0xC2; U+0300 to U+036F; U+0483 to U+0489; Hebrew,
// Arabic, Syriac, Thaana and NKo; the scripts of U+0800 to U+1FFF; the marks
// for symbols and the formatting characters under 0xE2; U+302A to U+302F,
// U+3099, U+309A and U+3164 under 0xE3; the marks from U+A66F on under 0xEA;
// U+FB1E to U+FFFF under 0xEF; and every four-byte code point. The Arabic
// letters under 0xDA are taken along, which keeps the ranges few; the walk
// decodes what it stops at. The ranges must cover every lead byte of the
// table, which follows the normalization library's Unicode version; the
// tests check them against it. No continuation byte is among them.
ByteTest may_not_break_leads(ByteBlock bytes) {
  return (bytes == 0xC2) | ((bytes >= 0xCC) & (bytes <= 0xCD)) | (bytes == 0xD2) |
         ((bytes >= 0xD6) & (bytes <= 0xE3)) | (bytes == 0xEA) | (bytes >= 0xEF);
}

// Lanes that begin a code point: those that hold no continuation byte
// (10xxxxxx, below -64 read as signed).
ByteTest code_point_starts(ByteBlock bytes) { return std::bit_cast<ByteTest>(bytes) > -65; }

// The lanes before the earliest one in `stops`, all of them when there is
// none.
std::uint64_t lanes_before_first(std::uint64_t stops) { return (stops - 1) & ~stops; }

// Code points that all break a stack.
struct BreakingRun {
  std::size_t bytes = 0;
  std::uint64_t code_points = 0;
};

// The code points from `p` up to the first lead byte in may_not_break_leads,
// or to `end`, counted sixteen bytes at a time without being decoded. A
// block may end inside a code point: the continuation bytes that start the
// next block belong to a code point counted already.
[[gnu::always_inline]] inline BreakingRun breaking_run(const char* p, const char* end) {
  std::uint64_t code_points = 0;
  BlockReader<block_size> reader{p, end};
  for (; reader.has_full_block(); reader.advance()) {
    const ByteBlock bytes = load_block(reader.block());
    if (lane_bits(std::bit_cast<ByteTest>(bytes)) == 0) {
      code_points += block_size;
      continue;
    }
    const std::uint64_t stops = lane_bits(may_not_break_leads(bytes));
    code_points += count_bits(lane_bits(code_point_starts(bytes)) & lanes_before_first(stops));
    if (stops != 0) return {static_cast<std::size_t>(reader.block() - p + std::countr_zero(stops)), code_points};
  }
  // A stop after the last byte of the text keeps the padding out of the
  // count.
  const auto last = reader.remainder();
  const ByteBlock bytes = load_block(last.bytes.data());
  const std::uint64_t stops = lane_bits(may_not_break_leads(bytes)) | (std::uint64_t{1} << last.size);
  code_points += count_bits(lane_bits(code_point_starts(bytes)) & lanes_before_first(stops));
  return {static_cast<std::size_t>(reader.block() - p + std::countr_zero(stops)), code_points};
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
  // A text without lead bytes that may not break, pure ASCII among others,
  // ends here without building the tables.
  const BreakingRun opening = breaking_run(p, end);
  counts.total = opening.code_points;
  p += opening.bytes;
  if (p == end) return counts;

  const EffectTables& tables = effect_tables();
  const auto may_not_break = [&tables](const char* at) {
    return tables.lead_may_not_break[static_cast<unsigned char>(*at)];
  };
  while (p < end) {
    const auto lead = static_cast<unsigned char>(*p);
    // The table holds nothing for ASCII; testing the byte first settles the
    // branch before the table is read, which mark-heavy text feels.
    if (lead < 0x80 || !may_not_break(p)) {
      ++counts.total;
      counts.stack_height = 0;
      p += utf8_length(lead);
      // Marks come one to a few at a time between their base letters, as do
      // the letters of the scripts that have marks, so only a second code
      // point in a row that breaks hands the walk back to the blocks.
      if (p < end && !may_not_break(p)) {
        const BreakingRun run = breaking_run(p, end);
        counts.total += run.code_points;
        p += run.bytes;
      }
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
  stats.add("combining_max_stack", measured.max_stack);
  stats.add("combining_ratio", measured.ratio);
  stats.add("combining_suspicious_stacks", measured.suspicious_stacks);
}

void flag_combining_abuse(SanitizeReport& report, const CombiningSignals& measured) {
  if (measured.high_ratio) bump_flagged(report, "high_combining_ratio", 1);
  if (measured.excessive_stack) bump_flagged(report, "excessive_combining_stack", 1);
}

}  // namespace orlenta
