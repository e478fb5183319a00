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
// every other code point is a mark.
struct EffectTables {
  std::array<StackEffect, 0x10000> bmp{};
};

const EffectTables& effect_tables() {
  static const EffectTables tables = [] {
    EffectTables built;
    for (char32_t cp = 0; cp < 0x10000; ++cp) built.bmp[cp] = stack_effect(cp);
    return built;
  }();
  return tables;
}

// One bit per code point that grows a stack, the marks of the scripts and
// of symbols, worked out once per process from the effects for the BMP
// and the tags and variation selectors of plane 14, which flag emoji use;
// the code points elsewhere, among which the census never lists the emoji,
// are rare enough to be looked up one by one.
struct GrowingCodePoints {
  static constexpr char32_t planes_end = 0x10000;
  static constexpr char32_t supplement_start = 0xE0000;
  static constexpr char32_t supplement_end = 0xE1000;
  static constexpr char32_t listed = planes_end + (supplement_end - supplement_start);
  std::array<std::uint64_t, listed / 64> bits{};

  // The place of `cp` among the bits, or `listed` when it has none.
  static char32_t place(char32_t cp) {
    if (cp < planes_end) return cp;
    if (cp >= supplement_start && cp < supplement_end) return planes_end + (cp - supplement_start);
    return listed;
  }

  bool contains(char32_t cp) const {
    const char32_t at = place(cp);
    return at < listed ? (bits[at / 64] >> (at % 64)) & 1 : stack_effect(cp) == grows;
  }
};

// The BMP's bits are read off its effects sixteen at a time.
const GrowingCodePoints& growing_code_points() {
  static const GrowingCodePoints growing = [] {
    const EffectTables& tables = effect_tables();
    GrowingCodePoints built;
    for (std::size_t word = 0; word < GrowingCodePoints::planes_end / 64; ++word) {
      for (std::size_t block = 0; block < 64 / block_size; ++block) {
        const ByteBlock effects = load_block(reinterpret_cast<const char*>(tables.bmp.data() + 64 * word + block_size * block));
        built.bits[word] |= lane_bits(std::bit_cast<ByteTest>(effects == std::uint8_t{grows})) << (block_size * block);
      }
    }
    for (char32_t cp = GrowingCodePoints::supplement_start; cp < GrowingCodePoints::supplement_end; ++cp) {
      const char32_t at = GrowingCodePoints::place(cp);
      built.bits[at / 64] |= std::uint64_t{stack_effect(cp) == grows} << (at % 64);
    }
    return built;
  }();
  return growing;
}

// Whether no code point of the census grows a stack: a text without marks
// has no stacks, whatever breaks or leaves them. The census leaves out
// U+1F000 to U+1FFFF, which the walk takes as breaking from their first two
// bytes.
bool census_has_no_marks(const TextCensus& census) {
  if (!census.distinct_listed) return false;
  const GrowingCodePoints& growing = growing_code_points();
  for (std::size_t i = 0; i < census.distinct_size; ++i) {
    if (growing.contains(census.distinct[i])) return false;
  }
  return true;
}

// The lead bytes under which some code point may grow or leave a stack, for
// sixteen bytes at once, as a few ranges: U+00AD under 0xC2; U+0300 to
// U+036F; U+0483 to U+0489; Hebrew, Arabic, Syriac, Thaana and NKo; the
// scripts of U+0800 to U+1FFF; the marks for symbols and the formatting
// characters under 0xE2; U+302A to U+302F, U+3099, U+309A and U+3164 under
// 0xE3; the marks from U+A66F on under 0xEA; U+FB1E to U+FFFF under 0xEF;
// and every four-byte code point. Most scripts have lead bytes under which
// none does (Latin letters with accents, Greek, Cyrillic, CJK, Hangul), and
// their code points are counted without being decoded. The Arabic letters
// under 0xDA are taken along, which keeps the ranges few; the walk decodes
// what it stops at. The ranges follow the normalization library's Unicode
// version; the tests check them against every code point. No continuation
// byte is among them.
ByteTest may_not_break_leads(ByteBlock bytes) {
  return (bytes == 0xC2) | bytes_in_range(bytes, 0xCC, 0xCD) | (bytes == 0xD2) | bytes_in_range(bytes, 0xD6, 0xE3) |
         (bytes == 0xEA) | bytes_in_range(bytes, 0xEF, 0xFF);
}

// The same lead bytes, one bit each from 0xC0 up, as a census lists them.
constexpr std::uint64_t may_not_break_lead_bytes = [] {
  const auto lead_bit = [](unsigned byte) { return std::uint64_t{1} << (byte - 0xC0); };
  std::uint64_t leads = lead_bit(0xC2) | lead_bit(0xCC) | lead_bit(0xCD) | lead_bit(0xD2) | lead_bit(0xEA);
  for (unsigned byte = 0xD6; byte <= 0xE3; ++byte) leads |= lead_bit(byte);
  for (unsigned byte = 0xEF; byte <= 0xFF; ++byte) leads |= lead_bit(byte);
  return leads;
}();

// Lanes that begin a code point known from its first bytes to break a
// stack: the emoji, U+1F000 to U+1FFFF (0xF0, then 0x9F), and the symbols
// of U+2100 to U+2CBF (0xE2, then 0x84 to 0xB2). `next` holds the byte after
// each lane.
ByteTest known_breaking(ByteBlock bytes, ByteBlock next) {
  return ((bytes == 0xF0) & (next == 0x9F)) | ((bytes == 0xE2) & bytes_in_range(next, 0x84, 0xB2));
}

// Lanes that begin a code point known from its first bytes to leave a
// stack as it is: the tags and ideographic variation selectors, U+E0000 to
// U+E0FFF (0xF3, then 0xA0); the variation selectors U+FE00 to U+FE0F; and
// U+200B to U+200F, the joiners among them. `after` holds the byte two
// lanes on.
ByteTest known_leaving(ByteBlock bytes, ByteBlock next, ByteBlock after) {
  return ((bytes == 0xF3) & (next == 0xA0)) | ((bytes == 0xEF) & (next == 0xB8) & bytes_in_range(after, 0x80, 0x8F)) |
         ((bytes == 0xE2) & (next == 0x80) & bytes_in_range(after, 0x8B, 0x8F));
}

// Lanes that begin a code point: those that hold no continuation byte
// (10xxxxxx, below -64 read as signed).
ByteTest code_point_starts(ByteBlock bytes) { return std::bit_cast<ByteTest>(bytes) > -65; }

// The stack as the walk carries it from block to block.
struct Stack {
  std::uint64_t height = 0;
  std::uint64_t highest = 0;
  std::uint64_t marks = 0;
  std::uint64_t suspicious = 0;
};

[[gnu::always_inline]] inline void add_effect(Stack& stack, StackEffect effect) {
  const bool mark = effect == grows;
  // Mark-heavy text alternates unpredictably between letters and marks, so
  // the stack is updated without branching on the effect.
  stack.marks += mark;
  stack.height = mark ? stack.height + 1 : (effect == leaves ? stack.height : 0);
  stack.highest = std::max(stack.highest, stack.height);
  stack.suspicious += mark && stack.height == suspicious_stack_height;
}

// Decodes the code point whose lead byte, 0xC2 or above, is at `p`.
char32_t decode_lead(const char* p) {
  const auto b0 = static_cast<unsigned char>(p[0]);
  const char32_t b1 = static_cast<unsigned char>(p[1]) & 0x3Fu;
  if (b0 < 0xE0) return (char32_t{b0 & 0x1Fu} << 6) | b1;
  const char32_t b2 = static_cast<unsigned char>(p[2]) & 0x3Fu;
  if (b0 < 0xF0) return (char32_t{b0 & 0x0Fu} << 12) | (b1 << 6) | b2;
  const char32_t b3 = static_cast<unsigned char>(p[3]) & 0x3Fu;
  return (char32_t{b0 & 0x07u} << 18) | (b1 << 12) | (b2 << 6) | b3;
}

// The stack through the code points that begin in one block, at the lanes
// `starts`: the stops, those that may not break it and are not known to
// leave it, are decoded and looked up, in order; the others break it where
// they stand among them, except those known to leave it. A stop after one or
// more breakers finds the stack broken: adding the breakers to themselves
// and the lanes of neither kind carries each run of them up to the next
// stop. The bytes are read from `bytes_at`, the text at `block` or its padded
// copy; the code points are decoded in the text.
[[gnu::always_inline]] inline void walk_block(Stack& stack, const EffectTables& tables, const char* block,
                                              const char* bytes_at, std::uint64_t starts) {
  const ByteBlock bytes = load_block(bytes_at);
  const ByteBlock next = load_block(bytes_at + 1);
  // The last lane's byte two lanes on lies beyond the bytes read; zero
  // keeps its code point a stop.
  const ByteBlock after =
      __builtin_shufflevector(next, ByteBlock{}, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
  const std::uint64_t leaving = lane_bits(known_leaving(bytes, next, after));
  std::uint64_t stops = lane_bits(may_not_break_leads(bytes) & ~known_breaking(bytes, next)) & starts & ~leaving;
  const std::uint64_t breakers = starts & ~stops & ~leaving;
  if (stops == 0) {
    if (breakers != 0) stack.height = 0;
    return;
  }
  const std::uint64_t neither = ~(stops | breakers);
  const std::uint64_t broken = ((neither | breakers) + breakers) & stops;
  // Breakers after the last stop break the stack for the next block.
  const bool broken_after = (breakers >> (63 - std::countl_zero(stops))) != 0;
  for (; stops != 0; stops &= stops - 1) {
    const int lane = std::countr_zero(stops);
    if ((broken >> lane) & 1) stack.height = 0;
    const char32_t cp = decode_lead(block + lane);
    add_effect(stack, cp < 0x10000 ? tables.bmp[cp] : stack_effect(cp));
  }
  if (broken_after) stack.height = 0;
}

// The code points are counted in per-lane tallies, which take at most 255
// blocks before they are added up. The stack only needs the code points
// that may not break it and whether any other comes between two of them.
// Most blocks hold none that may not break, and every block of sixteen bytes
// begins some code point, so such a block just breaks the stack. The blocks
// reach one byte further, to the byte after each lead.
MarkCounts count_marks(std::string_view text) {
  constexpr std::size_t blocks_per_tally = 255;
  std::uint64_t total = 0;
  Stack stack;
  const EffectTables& tables = effect_tables();
  BlockReader<block_size, 1> reader{text.data(), text.data() + text.size()};
  while (reader.has_full_block()) {
    ByteBlock tally{};
    for (std::size_t round = 0; round < blocks_per_tally && reader.has_full_block(); ++round, reader.advance()) {
      const ByteBlock bytes = load_block(reader.block());
      const ByteTest starts = code_point_starts(bytes);
      tally -= std::bit_cast<ByteBlock>(starts);
      if (lane_bits(std::bit_cast<ByteTest>(bytes)) == 0 || lane_bits(may_not_break_leads(bytes)) == 0) {
        stack.height = 0;
        continue;
      }
      walk_block(stack, tables, reader.block(), reader.block(), lane_bits(starts));
    }
    total += sum_lanes(tally);
  }
  // The last bytes: the padding is left out, and the stack after them
  // matters no more. Their code points lie wholly in the text, so they are
  // decoded where they stand.
  const auto last = reader.remainder();
  const ByteBlock bytes = load_block(last.bytes.data());
  const std::uint64_t starts = lane_bits(code_point_starts(bytes)) & last.text_lanes();
  total += count_bits(starts);
  walk_block(stack, tables, reader.block(), last.bytes.data(), starts);
  return {total, stack.marks, stack.highest, stack.suspicious};
}

CombiningSignals signals_of(const MarkCounts& counts, const SignalSpec& signals) {
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

}  // namespace

CombiningSignals measure_combining_marks(std::string_view output, const SignalSpec& signals) {
  return signals_of(count_marks(output), signals);
}

std::uint64_t combining_lead_bytes() { return may_not_break_lead_bytes; }

CombiningSignals measure_combining_marks_with_census(std::string_view output, const SignalSpec& signals,
                                                     const TextCensus& census) {
  // Every code point breaks the stack, which then never grows, or none
  // grows it.
  if (census.whole_text &&
      ((census.lead_bytes & may_not_break_lead_bytes) == 0 || census_has_no_marks(census))) {
    return signals_of(MarkCounts{.total = census.code_points}, signals);
  }
  return measure_combining_marks(output, signals);
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
