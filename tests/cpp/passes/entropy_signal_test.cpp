#include "passes/entropy_signal.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "signal_test_support.h"

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

TEST(EntropySignal, MatchesTheOrderedMapSumBitForBit) {
  std::mt19937_64 random(20240611);
  // Skewed towards a few code points of each range so that counts vary.
  const std::vector<std::pair<char32_t, char32_t>> ranges = {
      {0x21, 0x7E}, {0xC0, 0x24F}, {0x4E00, 0x4E3F}, {0x1F600, 0x1F60F}, {0x10FFF0, 0x10FFFD}};
  for (const std::size_t length : {1u, 150u, 1999u, 2000u, 2001u, 6000u}) {
    for (const bool ascii_only : {true, false}) {
      std::vector<char32_t> code_points;
      std::string text;
      for (std::size_t i = 0; i < length; ++i) {
        const auto& [low, high] = ranges[ascii_only ? 0 : random() % ranges.size()];
        const char32_t bound = static_cast<char32_t>(1 + random() % (high - low + 1));
        const auto cp = static_cast<char32_t>(low + random() % bound);
        code_points.push_back(cp);
        text += utf8(cp);
      }
      for (const std::uint64_t prefix_chars : {std::uint64_t{2000}, std::uint64_t{7},
                                               std::numeric_limits<std::uint64_t>::max()}) {
        SignalSpec signals = builtin_signals();
        signals.entropy_prefix_chars = prefix_chars;
        const SanitizeReport report = scan(text, signals);
        const double expected = reference_entropy(code_points, prefix_chars);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(stat<double>(report, "entropy_2000")),
                  std::bit_cast<std::uint64_t>(expected))
            << length << (ascii_only ? " ascii" : " mixed") << " prefix " << prefix_chars;
        EXPECT_EQ(flag_count(report, "high_entropy"), expected > 5.0 && length > 200 ? 1u : 0u);
      }
    }
  }
}

// ASCII and the block of 128 code points of the first other code point are
// counted in flat arrays, the rest is sorted (by radix once it is long):
// code points below and above that block, counts past the cached ones, and
// prefixes that end inside each part must all sum as the ordered map does.
TEST(EntropySignal, BlockCountsAndSortedRestSumInOrder) {
  std::vector<char32_t> code_points;
  const auto add = [&code_points](char32_t cp, std::size_t times) { code_points.insert(code_points.end(), times, cp); };
  add(0x0436, 3);   // the block: U+0400..047F
  add(0x00E9, 70);  // below the block, a count past the cached ones
  add(0x0410, 1);
  add(0x047F, 2);   // the block's last code point
  add(0x0480, 1);   // just above it
  add('e', 130);
  for (char32_t cp = 0x4E00; cp < 0x4E00 + 90; ++cp) add(cp, 1 + cp % 3);  // above, enough to sort by radix
  add(0x1F600, 65);
  add(0x03FF, 1);   // just below
  std::string text;
  for (const char32_t cp : code_points) text += utf8(cp);
  for (const std::uint64_t prefix_chars : {std::uint64_t{1}, std::uint64_t{4}, std::uint64_t{80}, std::uint64_t{300},
                                           std::uint64_t{2000}}) {
    SignalSpec signals = builtin_signals();
    signals.entropy_prefix_chars = prefix_chars;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(stat<double>(scan(text, signals), "entropy_2000")),
              std::bit_cast<std::uint64_t>(reference_entropy(code_points, prefix_chars)))
        << prefix_chars;
  }
}

}  // namespace
}  // namespace orlenta
