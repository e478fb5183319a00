#include "passes/entropy_signal.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "text/utf8.h"

namespace orlenta {
namespace {

// The 64-bit float nearest to -ln 2. Dividing ln(p) * p by it turns the
// natural logarithm into bits and the negative term into a positive one.
constexpr double negative_ln2 = -0.6931471805599453;

// Counts of the 128 code points from `base`, with the set of those that
// occur, one bit each: the terms visit only those, in order, instead of
// testing all 128 counts, which would mispredict on most of the few that
// occur.
struct BlockCounts {
  char32_t base = 0;
  std::array<std::uint64_t, 128> counts{};
  std::array<std::uint64_t, 2> seen{};
};

inline bool in_block(const BlockCounts& block, char32_t cp) { return cp - block.base < block.counts.size(); }

inline void count_in_block(BlockCounts& block, char32_t cp) {
  const std::size_t index = cp - block.base;
  ++block.counts[index];
  block.seen[index / 64] |= std::uint64_t{1} << (index % 64);
}

// Code point frequencies of the prefix. Text is mostly ASCII and one other
// script, whose letters usually share a block of 128 code points: ASCII and
// the block of the first code point outside it are counted in flat arrays.
// The remaining code points are collected and sorted once, when the terms
// are summed. The block is only cleared once a text has such a code point:
// a short message is often all ASCII.
struct FrequencyTable {
  BlockCounts ascii;
  std::optional<BlockCounts> script;
  std::vector<char32_t> other;
};

// Counts the code point `cp`, from outside ASCII, that starts at `at`.
// The other code points of a text come in a few at a time, so their list
// is sized at the first one for every code point outside ASCII that the
// rest of the prefix can hold, at two bytes each or more: a message then
// costs one allocation where growing would cost several.
void count_outside_ascii(FrequencyTable& table, char32_t cp, std::size_t bytes_left, std::uint64_t code_points_left) {
  if (!table.script) table.script.emplace().base = cp & ~char32_t{0x7F};
  if (in_block(*table.script, cp)) {
    count_in_block(*table.script, cp);
    return;
  }
  if (table.other.capacity() == 0) table.other.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(bytes_left / 2, code_points_left)));
  table.other.push_back(cp);
}

struct Prefix {
  std::uint64_t code_points = 0;
  std::size_t bytes = 0;
};

// Counts the first `limit` code points of `text` into `table`. Stretches of
// ASCII are counted in an inner loop of their own.
Prefix count_prefix(std::string_view text, std::uint64_t limit, FrequencyTable& table) {
  const char* const data = text.data();
  const std::size_t size = text.size();
  std::uint64_t code_points = 0;
  std::size_t bytes = 0;
  while (code_points < limit && bytes < size) {
    const std::size_t stretch_start = bytes;
    const std::size_t stretch_end =
        bytes + static_cast<std::size_t>(std::min<std::uint64_t>(size - bytes, limit - code_points));
    while (bytes < stretch_end && static_cast<unsigned char>(data[bytes]) < 0x80) {
      count_in_block(table.ascii, static_cast<unsigned char>(data[bytes]));
      ++bytes;
    }
    code_points += bytes - stretch_start;
    if (bytes == stretch_end) continue;
    std::size_t length = 0;
    const char32_t cp = decode_utf8(data + bytes, length);
    count_outside_ascii(table, cp, size - bytes, limit - code_points);
    bytes += length;
    ++code_points;
  }
  return Prefix{code_points, bytes};
}

// Sorts code points. A short list goes to std::sort; a long one, such as
// the prefix of a text in a non-Latin script, is sorted by its three
// seven-bit digits (code points have 21 bits), least significant first,
// where comparison sorting would mispredict a branch per comparison. A
// digit that every code point shares takes no pass.
void sort_code_points(std::vector<char32_t>& values) {
  constexpr std::size_t comparison_sort_limit = 64;
  if (values.size() <= comparison_sort_limit) {
    std::sort(values.begin(), values.end());
    return;
  }
  constexpr unsigned digit_bits = 7;
  constexpr std::size_t radix = std::size_t{1} << digit_bits;
  const auto digit = [](char32_t value, unsigned position) {
    return (value >> (digit_bits * position)) & (radix - 1);
  };
  std::array<std::array<std::size_t, radix>, 3> counts{};
  for (const char32_t value : values) {
    for (unsigned position = 0; position < 3; ++position) ++counts[position][digit(value, position)];
  }
  std::vector<char32_t> sorted(values.size());
  for (unsigned position = 0; position < 3; ++position) {
    std::array<std::size_t, radix>& next_slot = counts[position];
    if (next_slot[digit(values.front(), position)] == values.size()) continue;
    std::size_t start = 0;
    for (std::size_t& slot : next_slot) start += std::exchange(slot, start);
    for (const char32_t value : values) sorted[next_slot[digit(value, position)]++] = value;
    values.swap(sorted);
  }
}

// The term of one distinct code point depends only on its count, and a
// prefix of a couple of thousand code points holds many code points with
// the same small count: those terms are worked out once.
struct TermCache {
  double code_points = 0.0;
  std::array<double, 64> small_counts{};
  std::uint64_t known = 0;

  double term(std::uint64_t count) {
    if (count >= small_counts.size()) return compute(count);
    if ((known >> count & 1u) == 0) {
      small_counts[count] = compute(count);
      known |= std::uint64_t{1} << count;
    }
    return small_counts[count];
  }

  double compute(std::uint64_t count) const {
    const double p = static_cast<double>(count) / code_points;
    return (std::log(p) * p) / negative_ln2;
  }
};

// Floating-point addition is not associative, so the terms are added in
// ascending code point order, the order of an ordered map, one term per
// distinct code point.
struct TermSum {
  TermCache terms;
  double h = +0.0;
};

void add_block_terms(TermSum& sum, const BlockCounts& block) {
  for (std::size_t half = 0; half < block.seen.size(); ++half) {
    for (std::uint64_t seen = block.seen[half]; seen != 0; seen &= seen - 1) {
      const std::size_t index = 64 * half + static_cast<std::size_t>(__builtin_ctzll(seen));
      sum.h = sum.h + sum.terms.term(block.counts[index]);
    }
  }
}

// The sorted code points of [from, to) hold runs of equal ones.
void add_sorted_terms(TermSum& sum, const char32_t* from, const char32_t* to) {
  std::uint64_t count = 0;
  for (const char32_t* p = from; p != to; ++p) {
    ++count;
    if (p + 1 == to || p[1] != p[0]) {
      sum.h = sum.h + sum.terms.term(count);
      count = 0;
    }
  }
}

// ASCII first, then the sorted other code points below the script block,
// the block, and the other code points above it. Without a block, the
// prefix is all ASCII.
double entropy_bits(FrequencyTable& table, std::uint64_t code_points) {
  if (code_points == 0) return 0.0;
  TermSum sum;
  sum.terms.code_points = static_cast<double>(code_points);
  add_block_terms(sum, table.ascii);
  if (!table.script) return sum.h;
  std::vector<char32_t>& other = table.other;
  sort_code_points(other);
  const char32_t* const begin = other.data();
  const char32_t* const end = begin + other.size();
  const char32_t* const above = std::lower_bound(begin, end, table.script->base);
  add_sorted_terms(sum, begin, above);
  add_block_terms(sum, *table.script);
  add_sorted_terms(sum, above, end);
  return sum.h;
}

// Whether the whole text holds more than `min_chars` code points. The
// prefix's count often settles it; otherwise only the rest is counted.
bool longer_than(std::string_view text, const Prefix& prefix, std::uint64_t min_chars) {
  if (prefix.code_points > min_chars) return true;
  return prefix.code_points + count_code_points(text.substr(prefix.bytes)) > min_chars;
}

}  // namespace

EntropySignals measure_entropy(std::string_view output, const SignalSpec& signals) {
  FrequencyTable table;
  const Prefix prefix = count_prefix(output, signals.entropy_prefix_chars, table);
  EntropySignals measured;
  measured.entropy = entropy_bits(table, prefix.code_points);
  measured.high = measured.entropy > signals.entropy_prefix_threshold &&
                  longer_than(output, prefix, signals.entropy_prefix_min_chars);
  return measured;
}

void write_entropy_stats(StatsMap& stats, const EntropySignals& measured) {
  stats.add("entropy_2000", measured.entropy);
}

void flag_high_entropy(SanitizeReport& report, const EntropySignals& measured) {
  if (measured.high) bump_flagged(report, "high_entropy", 1);
}

}  // namespace orlenta
