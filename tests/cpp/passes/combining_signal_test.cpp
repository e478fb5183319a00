#include "passes/combining_signal.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <string_view>

#include "classes/code_point_classes.h"
#include "passes/entropy_signal.h"
#include "signal_test_support.h"

namespace orlenta {
namespace {

using signal_test::builtin_signals;
using signal_test::concat;
using signal_test::flag_count;
using signal_test::report_of;
using signal_test::repeat;
using signal_test::stat;
using signal_test::utf8;

const std::string mark = utf8(0x0301);       // COMBINING ACUTE ACCENT
const std::string cgj = utf8(0x034F);        // COMBINING GRAPHEME JOINER: a mark, but default-ignorable
const std::string astral_mark = utf8(0x1D167);  // MUSICAL SYMBOL COMBINING TREMOLO-1
const std::string selector = utf8(0xE0100);  // VARIATION SELECTOR-17: a mark, but default-ignorable

std::string marks(std::size_t n) { return repeat(mark, n); }

// A base character under a stack of `n` acute accents.
std::string stack(std::string_view base, std::size_t n) { return concat(base, marks(n)); }

struct Expected {
  std::uint64_t marks;
  std::uint64_t total;
  std::uint64_t max_stack;
  std::uint64_t suspicious;
  bool high_ratio;
  bool excessive;
};

void expect_scan(const std::string& text, const Expected& e, const SignalSpec& signals = builtin_signals()) {
  const SanitizeReport report =
      report_of(measure_combining_marks(text, signals), write_combining_stats, flag_combining_abuse);
  const double ratio = e.total == 0 ? 0.0 : static_cast<double>(e.marks) / static_cast<double>(e.total);
  EXPECT_EQ(stat<double>(report, "combining_ratio"), ratio);
  EXPECT_EQ(stat<std::uint64_t>(report, "combining_max_stack"), e.max_stack);
  EXPECT_EQ(stat<std::uint64_t>(report, "combining_suspicious_stacks"), e.suspicious);
  EXPECT_EQ(flag_count(report, "high_combining_ratio"), e.high_ratio ? 1u : 0u);
  EXPECT_EQ(flag_count(report, "excessive_combining_stack"), e.excessive ? 1u : 0u);
}

TEST(CombiningSignal, StackHeightsAndTheirFlags) {
  struct Case {
    const char* name;
    std::string text;
    Expected expected;
  };
  const Case cases[] = {
      {"empty", "", {0, 0, 0, 0, false, false}},
      {"pure ASCII", std::string(100, 'x'), {0, 100, 0, 0, false, false}},
      {"stack of 4", stack("x", 4), {4, 5, 4, 0, false, false}},
      {"stack of 5", stack("x", 5), {5, 6, 5, 1, false, false}},
      {"stack of 7", stack("x", 7), {7, 8, 7, 1, false, false}},
      {"stack of 8", stack("x", 8), {8, 9, 8, 1, false, true}},
      {"12 marks are one suspicious stack", stack("x", 12), {12, 13, 12, 1, false, true}},
      {"two stacks of 5", repeat(stack("x", 5), 2), {10, 12, 5, 2, false, false}},
      {"three stacks of 5", repeat(stack("x", 5), 3), {15, 18, 5, 3, false, true}},
      {"ASCII letter breaks", concat(stack("x", 2), stack("b", 2)), {4, 6, 2, 0, false, false}},
      {"non-ASCII letter breaks", concat(stack("x", 3), utf8(0x00E9), marks(3)), {6, 8, 3, 0, false, false}},
      {"CGJ neither mark nor break", concat("x", mark, repeat(cgj + mark, 4)), {5, 10, 5, 1, false, false}},
      {"selector neither mark nor break", concat(stack("x", 4), selector, mark), {5, 7, 5, 1, false, false}},
      {"four-byte marks", concat("x", repeat(astral_mark, 5)), {5, 6, 5, 1, false, false}},
      {"marks after a long ASCII run", stack(std::string(37, 'x'), 4), {4, 41, 4, 0, false, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    expect_scan(c.text, c.expected);
  }
  EXPECT_EQ(measure_combining_marks(std::string_view(), builtin_signals()).ratio, 0.0);
}

TEST(CombiningSignal, RatioNeedsMoreThanTheMinimumLength) {
  // Marks one at a time, so that no stack grows.
  const std::string nine_of_41 = repeat("x" + mark, 9) + std::string(23, 'x');
  const std::string twenty_of_40 = repeat("x" + mark, 20);
  expect_scan(nine_of_41, {9, 41, 1, 0, true, false});
  expect_scan(twenty_of_40, {20, 40, 1, 0, false, false});
  // A stack of 5 is excessive only together with a high ratio.
  const std::string stack_and_ratio = stack("x", 5) + repeat("y" + mark, 17);
  expect_scan(stack_and_ratio, {22, 40, 5, 1, false, false});
  expect_scan(stack_and_ratio + "z", {22, 41, 5, 1, true, true});
}

TEST(CombiningSignal, RatioThresholdIsStrictAndTakenFromTheSettings) {
  SignalSpec signals = builtin_signals();
  signals.combining_ratio_threshold = 0.5;
  const std::string half = repeat("x" + mark, 21);
  expect_scan(half, {21, 42, 1, 0, false, false}, signals);
  signals.combining_ratio_threshold = 0.49;
  expect_scan(half, {21, 42, 1, 0, true, false}, signals);
  signals.combining_min_chars = 42;
  expect_scan(half, {21, 42, 1, 0, false, false}, signals);
}

// The counts taken one decoded code point at a time, straight from the class
// predicates.
struct ReferenceCounts {
  std::uint64_t total = 0;
  std::uint64_t marks = 0;
  std::uint64_t highest_stack = 0;
  std::uint64_t suspicious_stacks = 0;
};

ReferenceCounts reference_counts(std::string_view text) {
  ReferenceCounts counts;
  std::uint64_t height = 0;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = 0;
    const char32_t cp = decode_utf8(text.data() + i, length);
    i += length;
    ++counts.total;
    if (is_default_ignorable(cp)) continue;
    if (!is_combining_mark(cp)) {
      height = 0;
      continue;
    }
    ++counts.marks;
    counts.highest_stack = std::max(counts.highest_stack, ++height);
    counts.suspicious_stacks += height == 5;
  }
  return counts;
}

// The text is measured in an allocation of its exact size, so that the
// address sanitizer catches a block read past its end; by the scan, and as
// the pipeline measures it, after the entropy, whose census may settle it.
::testing::AssertionResult matches_reference(const std::string& text) {
  const ReferenceCounts expected = reference_counts(text);
  const auto exact = std::make_unique<char[]>(text.size());
  std::memcpy(exact.get(), text.data(), text.size());
  const std::string_view measured_text(exact.get(), text.size());
  const double ratio =
      expected.total == 0 ? 0.0 : static_cast<double>(expected.marks) / static_cast<double>(expected.total);
  TextCensus census;
  measure_entropy_and_census(measured_text, builtin_signals(), combining_lead_bytes(), census);
  for (const CombiningSignals& measured : {measure_combining_marks(measured_text, builtin_signals()),
                                           measure_combining_marks_with_census(measured_text, builtin_signals(), census)}) {
    if (measured.ratio != ratio || measured.max_stack != expected.highest_stack ||
        measured.suspicious_stacks != expected.suspicious_stacks) {
      return ::testing::AssertionFailure() << "ratio " << measured.ratio << " for " << ratio << ", max stack "
                                           << measured.max_stack << " for " << expected.highest_stack
                                           << ", suspicious " << measured.suspicious_stacks << " for "
                                           << expected.suspicious_stacks;
    }
  }
  return ::testing::AssertionSuccess();
}

// Every code point, counted in the blocks: at the start of a text, in every
// lane and straddling the end of a block, in a full block and in the short
// last one, with a mark after it that stacks on it if it is a mark too.
TEST(CombiningSignal, EveryCodePointCountsAsDecoded) {
  const std::string after = concat(mark, std::string(17, 'y'));
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    for (const std::size_t at : {0, 7, 13, 14, 15, 16}) {
      const std::string text = concat(std::string(at, 'x'), utf8(cp), after);
      ASSERT_TRUE(matches_reference(text)) << std::hex << static_cast<unsigned>(cp) << std::dec << " at " << at;
      ASSERT_TRUE(matches_reference(text.substr(0, text.size() - 17)))
          << std::hex << static_cast<unsigned>(cp) << std::dec << " at " << at << ", at the end";
    }
  }
}

// Every code point twice after a letter, with nothing else outside ASCII:
// a mark stacks, so the census may only settle the scan when its lead byte
// is one under which no code point is a mark.
TEST(CombiningSignal, EveryCodePointAloneCountsAsDecoded) {
  for (char32_t cp = 0x80; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    ASSERT_TRUE(matches_reference(concat("x", utf8(cp), utf8(cp)))) << std::hex << static_cast<unsigned>(cp);
  }
}

// The census lists a few dozen distinct code points at most: a mark among
// more than that, at the place where the list runs out, must still count.
TEST(CombiningSignal, MarkAmongMoreCodePointsThanTheCensusLists) {
  for (const std::size_t letters : {60u, 61u, 62u, 63u}) {
    // A CJK letter first, then mathematical letters and emoji on either side
    // of a mark, each twice so that the mark stacks.
    std::string text = concat("x", utf8(0x4E00));
    for (std::size_t i = 0; i < letters; ++i) text += utf8(0x1D400 + static_cast<char32_t>(i));
    text += repeat(utf8(0x1E944), 2);  // ADLAM ALIF LENGTHENER
    text += concat(utf8(0x1F600), utf8(0x1F601));
    EXPECT_TRUE(matches_reference(text)) << letters << " letters";
  }
}

// Random texts of letters from scripts with and without marks, marks in
// stacks, default-ignorables and emoji, so that blocks start and end inside
// code points and stops and breaking code points meet at every kind of
// boundary.
std::string random_text(std::mt19937& random, std::size_t code_points) {
  const char32_t breaking[] = {'a', ' ', '\n', 0xE9, 0x0436, 0x0491, 0x0563, 0x0686, 0x0915, 0x4E2D, 0xAC00, 0xB098,
                               0x201C, 0x00A0, 0x1F600, 0x1F3FB, 0x10FFFF};
  const char32_t marks[] = {0x0301, 0x0483, 0x05B4, 0x064E, 0x093F, 0x1AB0, 0x20D7, 0x302A, 0xA670, 0xFE20,
                            0x1D167};
  const char32_t ignorables[] = {0x00AD, 0x034F, 0x200D, 0xFE0F, 0xE0100, 0xE0041};
  const auto pick = [&random](const auto& pool) { return pool[random() % std::size(pool)]; };
  std::string text;
  while (text.size() < code_points * 2) {
    const unsigned kind = random() % 8;
    if (kind < 4) {
      for (std::size_t run = random() % 24; run > 0; --run) normkit::utf8::append(text, pick(breaking));
    } else if (kind < 7) {
      for (std::size_t run = random() % 9; run > 0; --run) normkit::utf8::append(text, pick(marks));
    } else {
      normkit::utf8::append(text, pick(ignorables));
    }
  }
  return text;
}

TEST(CombiningSignal, RandomTextsCountAsDecoded) {
  std::mt19937 random(20241208);
  for (int round = 0; round < 20000; ++round) {
    ASSERT_TRUE(matches_reference(random_text(random, random() % 120))) << "round " << round;
  }
}

// Texts long enough that the per-lane tallies of code points are added up
// more than once.
TEST(CombiningSignal, LongRandomTextsCountAsDecoded) {
  std::mt19937 random(20261209);
  for (int round = 0; round < 40; ++round) {
    ASSERT_TRUE(matches_reference(random_text(random, 2000 + random() % 20000))) << "round " << round;
  }
}

}  // namespace
}  // namespace orlenta
