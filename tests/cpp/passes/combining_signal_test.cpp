#include "passes/combining_signal.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "signal_test_support.h"

namespace orlenta {
namespace {

using signal_test::builtin_signals;
using signal_test::concat;
using signal_test::flag_count;
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
  SanitizeReport report;
  scan_combining_marks(text, signals, report);
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

}  // namespace
}  // namespace orlenta
