#include "passes/entropy_signal.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "signal_test_support.h"
#include "text/utf8.h"

namespace orlenta {
namespace {

using signal_test::builtin_signals;
using signal_test::flag_count;
using signal_test::report_of;
using signal_test::stat;
using signal_test::utf8;

// `length` code points cycling through `distinct` consecutive code points
// from `first`.
std::string cycle(char32_t first, char32_t distinct, std::size_t length) {
  std::string text;
  for (std::size_t i = 0; i < length; ++i) text += utf8(first + static_cast<char32_t>(i % distinct));
  return text;
}

constexpr char32_t ascii_first = U'0';      // U+0030..006F: digits, punctuation, letters
constexpr char32_t cyrillic_first = 0x0410;  // U+0410..044F: 64 Cyrillic letters

SanitizeReport scan(std::string_view text, const SignalSpec& signals = builtin_signals()) {
  return report_of(measure_entropy(text, signals), write_entropy_stats, flag_high_entropy);
}

TEST(EntropySignal, MeasuresThePrefixAndFlagsLongVariedTexts) {
  const std::string varied = cycle(cyrillic_first, 64, 500);
  struct Case {
    const char* name;
    std::string text;
    double entropy;
    bool flagged;
  };
  const Case cases[] = {
      {"empty", "", 0.0, false},
      {"one letter repeated", std::string(1000, 'a'), 0.0, false},
      {"64 symbols, 4 each", cycle(ascii_first, 64, 256), 6.0, true},
      {"uniform prefix, varied rest", std::string(2000, 'a') + varied, 0.0, false},
  };
  for (const Case& c : cases) {
    const SanitizeReport report = scan(c.text);
    EXPECT_NEAR(stat<double>(report, "entropy_2000"), c.entropy, 1e-12) << c.name;
    EXPECT_EQ(flag_count(report, "high_entropy"), c.flagged ? 1u : 0u) << c.name;
  }
}

TEST(EntropySignal, LengthTestCountsCodePointsOfTheWholeText) {
  for (const char32_t first : {ascii_first, cyrillic_first}) {
    SCOPED_TRACE(static_cast<std::uint32_t>(first));
    EXPECT_EQ(flag_count(scan(cycle(first, 64, 200)), "high_entropy"), 0u);
    EXPECT_EQ(flag_count(scan(cycle(first, 64, 201)), "high_entropy"), 1u);
  }
  // A prefix shorter than the minimum length: the code points after it count.
  SignalSpec short_prefix = builtin_signals();
  short_prefix.entropy_prefix_chars = 100;
  EXPECT_EQ(flag_count(scan(cycle(cyrillic_first, 64, 200), short_prefix), "high_entropy"), 0u);
  EXPECT_EQ(flag_count(scan(cycle(cyrillic_first, 64, 201), short_prefix), "high_entropy"), 1u);
}

TEST(EntropySignal, ThresholdIsStrictAndTakenFromTheSettings) {
  const std::string text = cycle(ascii_first, 64, 256);
  const double entropy = stat<double>(scan(text), "entropy_2000");
  SignalSpec signals = builtin_signals();
  signals.entropy_prefix_threshold = entropy;
  EXPECT_EQ(flag_count(scan(text, signals), "high_entropy"), 0u);
  signals.entropy_prefix_threshold = std::nextafter(entropy, 0.0);
  EXPECT_EQ(flag_count(scan(text, signals), "high_entropy"), 1u);
  signals.entropy_prefix_chars = 0;
  const SanitizeReport empty_prefix = scan(text, signals);
  EXPECT_EQ(std::bit_cast<std::uint64_t>(stat<double>(empty_prefix, "entropy_2000")), 0u);
  EXPECT_EQ(flag_count(empty_prefix, "high_entropy"), 0u);
}

// The sum over an ordered map, as the measure is defined.
double reference_entropy(const std::vector<char32_t>& code_points, std::uint64_t prefix_chars) {
  std::map<char32_t, std::uint64_t> frequencies;
  std::uint64_t n = 0;
  for (const char32_t cp : code_points) {
    if (n == prefix_chars) break;
    ++frequencies[cp];
    ++n;
  }
  if (n == 0) return 0.0;
  double h = +0.0;
  for (const auto& [cp, count] : frequencies) {
    const double p = static_cast<double>(count) / static_cast<double>(n);
    h = h + (std::log(p) * p) / -0.6931471805599453;
  }
  return h;
}

std::uint64_t entropy_bits_of(std::string_view text, std::uint64_t prefix_chars) {
  SignalSpec signals = builtin_signals();
  signals.entropy_prefix_chars = prefix_chars;
  return std::bit_cast<std::uint64_t>(stat<double>(scan(text, signals), "entropy_2000"));
}

// The census holds the whole text's facts exactly when the prefix takes in
// every code point.
::testing::AssertionResult census_matches(std::string_view text, std::size_t code_points, std::uint64_t prefix_chars) {
  SignalSpec signals = builtin_signals();
  signals.entropy_prefix_chars = prefix_chars;
  TextCensus census;
  measure_entropy_and_census(text, signals, ~std::uint64_t{0}, census);
  std::uint64_t lead_bytes = 0;
  std::uint64_t digit_to_upper_bytes = 0;
  for (const char byte : text) {
    if (static_cast<unsigned char>(byte) >= 0xC0) lead_bytes |= std::uint64_t{1} << (static_cast<unsigned char>(byte) - 0xC0);
    digit_to_upper_bytes += byte >= '0' && byte <= 'Z';
  }
  const bool whole_text = prefix_chars >= code_points;
  if (census.whole_text != whole_text) return ::testing::AssertionFailure() << "whole text " << census.whole_text;
  if (!whole_text) return ::testing::AssertionSuccess();
  if (census.code_points != code_points || census.lead_bytes != lead_bytes ||
      census.digit_to_upper_bytes != digit_to_upper_bytes) {
    return ::testing::AssertionFailure() << census.code_points << " code points, " << census.digit_to_upper_bytes
                                         << " from '0' to 'Z', lead bytes " << std::hex << census.lead_bytes
                                         << " for " << lead_bytes;
  }
  // The list, which leaves out U+1F000 to U+1FFFF, may be left out only
  // when it would be long, or when the other code points from U+0800 are
  // more than are hashed.
  std::set<char32_t> outside_ascii;
  std::size_t from_u0800 = 0;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = 0;
    const char32_t cp = decode_utf8(text.data() + i, length);
    const bool emoji = cp >= 0x1F000 && cp <= 0x1FFFF;
    if (cp >= 0x80 && !emoji) outside_ascii.insert(cp);
    from_u0800 += cp >= 0x800 && !emoji;
    i += length;
  }
  const bool short_list = lead_bytes != 0 && outside_ascii.size() <= TextCensus::max_distinct && from_u0800 <= 127;
  if (census.distinct_listed ? std::set<char32_t>(census.distinct.begin(), census.distinct.begin() + census.distinct_size) !=
                                   outside_ascii
                             : short_list) {
    return ::testing::AssertionFailure() << "distinct code points listed: " << census.distinct_listed << ", "
                                         << census.distinct_size << " for " << outside_ascii.size();
  }
  return ::testing::AssertionSuccess();
}

std::string utf8_of(const std::vector<char32_t>& code_points) {
  std::string text;
  for (const char32_t cp : code_points) text += utf8(cp);
  return text;
}

// Random texts of each kind the counting treats apart: ASCII alone, ASCII
// with one script, many scripts (some spread over many blocks), emoji with
// their joiners and selectors, and astral planes up to the last code point.
// Draws are skewed towards a few code points of each range so that counts
// vary.
std::vector<char32_t> random_text(std::mt19937_64& random, std::size_t kind, std::size_t length) {
  using Ranges = std::vector<std::pair<char32_t, char32_t>>;
  const Ranges kinds[] = {
      {{0x00, 0x7F}},
      {{0x20, 0x7E}, {0x0400, 0x04FF}},
      {{0x21, 0x7E}, {0xC0, 0x24F}, {0x0370, 0x03FF}, {0x0600, 0x06FF}, {0x0900, 0x097F}, {0x4E00, 0x9FFF}},
      {{0x20, 0x7E}, {0x200D, 0x200D}, {0xFE0F, 0xFE0F}, {0x2600, 0x27BF}, {0x1F1E6, 0x1F1FF}, {0x1F300, 0x1FAFF}},
      {{0x10000, 0x1FFFF}, {0xE0000, 0xE007F}, {0x10FF80, 0x10FFFF}},
  };
  const Ranges& ranges = kinds[kind];
  std::vector<char32_t> code_points;
  for (std::size_t i = 0; i < length; ++i) {
    const auto& [low, high] = ranges[random() % ranges.size()];
    const char32_t bound = static_cast<char32_t>(1 + random() % (high - low + 1));
    code_points.push_back(static_cast<char32_t>(low + random() % bound));
  }
  return code_points;
}

TEST(EntropySignal, MatchesTheOrderedMapSumBitForBit) {
  std::mt19937_64 random(20240611);
  constexpr std::uint64_t unlimited = std::numeric_limits<std::uint64_t>::max();
  // Lengths and limits around the counts the terms are kept for (64) and the
  // prefix lengths they are shared for (2048).
  for (std::size_t kind = 0; kind < 5; ++kind) {
    for (const std::size_t length : {0u, 1u, 63u, 64u, 150u, 2047u, 2048u, 2049u, 6000u}) {
      const std::vector<char32_t> code_points = random_text(random, kind, length);
      const std::string text = utf8_of(code_points);
      for (const std::uint64_t prefix_chars : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{7}, length - 1, length,
                                               length + 1, std::uint64_t{2000}, std::uint64_t{2048}, unlimited}) {
        const double expected = reference_entropy(code_points, prefix_chars);
        EXPECT_EQ(entropy_bits_of(text, prefix_chars), std::bit_cast<std::uint64_t>(expected))
            << "kind " << kind << " length " << length << " prefix " << prefix_chars;
        EXPECT_TRUE(census_matches(text, length, prefix_chars))
            << "kind " << kind << " length " << length << " prefix " << prefix_chars;
      }
      SignalSpec signals = builtin_signals();
      const double expected = reference_entropy(code_points, signals.entropy_prefix_chars);
      EXPECT_EQ(flag_count(scan(text, signals), "high_entropy"), expected > 5.0 && length > 200 ? 1u : 0u);
    }
  }
}

// Counts are two bytes wide while the prefix can hold no more than 65535
// code points, and eight bytes wide beyond: a code point that fills the
// whole prefix reaches the largest count of each.
TEST(EntropySignal, CountsAtTheLimitsOfTheirWidth) {
  constexpr std::uint64_t unlimited = std::numeric_limits<std::uint64_t>::max();
  for (const std::size_t repeats : {65535u, 65536u}) {
    for (const char32_t filler : {U'a', U'Q', char32_t{0x0416}, char32_t{0x4E2D}}) {
      for (const char32_t last : {U'b', char32_t{0x0417}, char32_t{0x1F600}}) {
        std::vector<char32_t> code_points(repeats, filler);
        code_points.push_back(last);
        const std::string text = utf8_of(code_points);
        for (const std::uint64_t prefix_chars : {std::uint64_t{65535}, std::uint64_t{65536}, unlimited}) {
          EXPECT_EQ(entropy_bits_of(text, prefix_chars),
                    std::bit_cast<std::uint64_t>(reference_entropy(code_points, prefix_chars)))
              << repeats << " of U+" << std::hex << static_cast<std::uint32_t>(filler) << " then U+"
              << static_cast<std::uint32_t>(last) << std::dec << ", prefix " << prefix_chars;
          EXPECT_TRUE(census_matches(text, code_points.size(), prefix_chars)) << repeats << ", prefix " << prefix_chars;
        }
      }
    }
  }
}

// ASCII, the code points of two bytes, and the block of 128 code points of
// the first code point from U+0800 are counted in flat arrays; the rest is
// hashed while short and sorted by radix once long: block edges, code points
// below and above that block, counts past the kept terms, and prefixes that
// end inside each part must all sum as the ordered map does.
TEST(EntropySignal, BlockCountsAndTheRestSumInOrder) {
  std::vector<char32_t> code_points;
  const auto add = [&code_points](char32_t cp, std::size_t times) { code_points.insert(code_points.end(), times, cp); };
  add(0x4E36, 3);   // the block: U+4E00..4E7F
  add(0x00E9, 70);  // two bytes, a count past the kept terms
  add(0x0080, 1);   // the first and last code points of two bytes
  add(0x07FF, 2);
  add(0x4E00, 1);
  add(0x4E7F, 2);   // the block's last code point
  add(0x4E80, 1);   // just above it
  add(0x0800, 1);   // the first code point of three bytes, below the block
  add('e', 130);
  for (char32_t cp = 0x9000; cp < 0x9000 + 90; ++cp) add(cp, 1 + cp % 3);  // above, enough to sort by radix
  add(0x1F600, 65);
  add(0x4DFF, 1);   // just below the block
  const std::string text = utf8_of(code_points);
  for (const std::uint64_t prefix_chars : {std::uint64_t{1}, std::uint64_t{4}, std::uint64_t{80}, std::uint64_t{140},
                                           std::uint64_t{300}, std::uint64_t{2000}}) {
    EXPECT_EQ(entropy_bits_of(text, prefix_chars),
              std::bit_cast<std::uint64_t>(reference_entropy(code_points, prefix_chars)))
        << prefix_chars;
  }
}

// U+1F000 to U+1FFFF are counted apart from the script block and the other
// code points: their edges and the code points just outside them must sum
// in order whether the script block lies below them, above them or is never
// started, and whether the other code points are hashed or sorted by radix.
TEST(EntropySignal, EmojiSumInOrderAmongTheOtherCodePoints) {
  constexpr std::uint64_t unlimited = std::numeric_limits<std::uint64_t>::max();
  const char32_t around[] = {0x1F000, 0x1FFFF, 0x1EFFF, 0x20000, 0x1F600, 0x1F3FB, 0x1F1E6, 0x2764, 0x200D, 0xFE0F};
  for (const char32_t first : {char32_t{'a'}, char32_t{0x4E2D}, char32_t{0x1F600}, char32_t{0xE0041}, char32_t{0x20000}}) {
    for (const std::size_t others : {0u, 400u}) {
      std::vector<char32_t> code_points{first};
      for (std::size_t i = 0; i < std::size(around); ++i) code_points.insert(code_points.end(), 1 + i % 3, around[i]);
      for (std::size_t i = 0; i < others; ++i) code_points.push_back(static_cast<char32_t>(0x9000 + i % 300));
      const std::string text = utf8_of(code_points);
      for (const std::uint64_t prefix_chars : {std::uint64_t{3}, std::uint64_t{12}, unlimited}) {
        EXPECT_EQ(entropy_bits_of(text, prefix_chars),
                  std::bit_cast<std::uint64_t>(reference_entropy(code_points, prefix_chars)))
            << "after U+" << std::hex << static_cast<std::uint32_t>(first) << std::dec << ", " << others
            << " others, prefix " << prefix_chars;
      }
      EXPECT_TRUE(census_matches(text, code_points.size(), unlimited)) << others << " others";
    }
  }
}

// Up to 255 code points from U+0800 outside the block are hashed as they
// come, when the text is too short to hold more; the others are listed, and
// hashed afterwards if no more than 255 came.
TEST(EntropySignal, OtherCodePointsAroundTheHashedLimit) {
  // One distinct code point reaches the largest count an entry holds.
  for (const std::size_t others : {126u, 127u, 128u, 254u, 255u, 256u}) {
    for (const char32_t first : {char32_t{0x4E00}, U'a'}) {
      for (const std::size_t distinct : {1u, 5u}) {
        std::vector<char32_t> code_points{first};
        for (std::size_t i = 0; i < others; ++i) code_points.push_back(static_cast<char32_t>(0x9000 + i % distinct));
        const std::string text = utf8_of(code_points);
        for (const std::uint64_t prefix_chars : {std::uint64_t{others}, std::uint64_t{others + 1}}) {
          EXPECT_EQ(entropy_bits_of(text, prefix_chars),
                    std::bit_cast<std::uint64_t>(reference_entropy(code_points, prefix_chars)))
              << others << " others of " << distinct << " after U+" << std::hex << static_cast<std::uint32_t>(first)
              << std::dec << ", prefix " << prefix_chars;
        }
      }
    }
  }
}

}  // namespace
}  // namespace orlenta
