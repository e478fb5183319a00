#include "passes/encoded_blob_signal.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "signal_test_support.h"

namespace orlenta {
namespace {

using signal_test::builtin_signals;
using signal_test::flag_count;
using signal_test::repeat;
using signal_test::stat;
using signal_test::utf8;

struct Expected {
  bool base64ish;
  bool wrapped;
};

void expect_scan(const std::string& text, Expected e, std::uint64_t width = 64) {
  SignalSpec signals = builtin_signals();
  signals.base64_min_chars = width;
  SanitizeReport report;
  scan_encoded_blobs(text, signals, report);
  EXPECT_EQ(stat<bool>(report, "base64ish"), e.base64ish);
  EXPECT_EQ(stat<bool>(report, "base64ish_wrapped"), e.wrapped);
  EXPECT_EQ(flag_count(report, "base64ish_blob"), e.base64ish ? 1u : 0u);
}

// Mixed-case base64: 40 per cent upper, 40 per cent lower, digits and a
// symbol.
std::string base64_line(std::size_t length) {
  static constexpr std::string_view pattern = "QmFzZTY0IGV4YW1wbGU+T2sK9/Rx";
  std::string line;
  for (std::size_t i = 0; i < length; ++i) line += pattern[i % pattern.size()];
  return line;
}

TEST(EncodedBlobSignal, RunsAndWrappedLines) {
  const std::string line40 = base64_line(40);
  struct Case {
    const char* name;
    std::string text;
    Expected expected;
  };
  const Case cases[] = {
      {"empty", "", {false, false}},
      {"run of 63", base64_line(63), {false, false}},
      {"run of 64", base64_line(64), {true, false}},
      {"one long run is never wrapped", base64_line(5000), {true, false}},
      {"two lines split by LF", line40 + "\n" + line40, {true, true}},
      {"two lines split by U+3000", line40 + utf8(0x3000) + line40, {true, true}},
      {"full stop empties the window", line40 + "." + line40, {false, false}},
      {"non-ASCII letter empties the window", line40 + utf8(0x00E9) + line40, {false, false}},
      {"16 lines of ABCD", repeat("ABCD\n", 16), {true, true}},
      {"16 lines of ABCD, no final LF", repeat("ABCD\n", 15) + "ABCD", {true, true}},
      {"15 lines of ABCD", repeat("ABCD\n", 15), {false, false}},
      {"30 lines of ABC", repeat("ABC\n", 30), {false, false}},
      {"full stop resets the line total", repeat("ABCD\n", 8) + ".\n" + repeat("ABCD\n", 8), {false, false}},
      {"lower-case token resets the line total", repeat("ABCD\n", 8) + "abcd\n" + repeat("ABCD\n", 8), {false, false}},
      {"new length restarts the line total", repeat("ABCD\n", 8) + repeat("ABCDE\n", 8), {false, false}},
      {"lines of 76 upper letters", repeat(std::string(76, 'K') + "\n", 2), {true, true}},
      {"lines of 77 upper letters", repeat(std::string(77, 'K') + "\n", 4), {true, false}},
      {"ordinary words", repeat("Article 12 of the Universal Declaration says no one shall be subjected ", 20),
       {false, false}},
      // The break is inside the window only while its make-up is plain
      // lower case; by the time the base64 arrives the window has slid past.
      {"window slides past a break", std::string("ab ") + std::string(70, 'q') + base64_line(100), {true, false}},
      {"run after leading space", std::string(" ") + base64_line(64), {true, false}},
      {"break at the newest entry", base64_line(63) + " Q", {true, true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    expect_scan(c.text, c.expected);
  }
}

// Two tokens of equal length with the given class counts, interleaved: the
// one full window, as wide as the text's alphabet code points, is all of
// them and spans the break.
std::string two_tokens(std::size_t upper, std::size_t lower, std::size_t digits, std::size_t symbols) {
  const std::string pool = std::string(upper, 'M') + std::string(lower, 'q') + std::string(digits, '7') +
                           std::string(symbols, '+');
  std::string interleaved;
  for (std::size_t stride = 0; stride < 4; ++stride) {
    for (std::size_t i = stride; i < pool.size(); i += 4) interleaved += pool[i];
  }
  const std::size_t half = interleaved.size() / 2;
  return interleaved.substr(0, half) + " " + interleaved.substr(half);
}

TEST(EncodedBlobSignal, EachMakeUpRuleAlone) {
  struct Case {
    const char* name;
    std::string text;
    bool wrapped;
  };
  // Each rule is met with every product exactly at the width, then missed
  // by one in a single count.
  const Case cases[] = {
      {"both cases", two_tokens(8, 4, 0, 28), true},
      {"both cases, too few upper", two_tokens(7, 5, 0, 28), false},
      {"both cases, too few lower", two_tokens(8, 3, 0, 29), false},
      {"letters and digits", two_tokens(0, 10, 5, 25), true},
      {"letters and digits, too few letters", two_tokens(0, 9, 5, 26), false},
      {"letters and digits, too few digits", two_tokens(0, 10, 4, 26), false},
      {"upper with a symbol", two_tokens(5, 30, 4, 1), true},
      {"upper without a symbol", two_tokens(5, 31, 4, 0), false},
      {"upper with a symbol, too few upper", two_tokens(4, 16, 4, 16), false},
      {"upper with a symbol, too few letters", two_tokens(5, 14, 4, 17), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    expect_scan(c.text, {c.wrapped, c.wrapped}, 40);
  }
}

TEST(EncodedBlobSignal, WindowWidthComesFromTheSettings) {
  // Width 0: every text is base64-like, and the wrapped test is off.
  expect_scan("", {true, false}, 0);
  expect_scan(repeat("ABCD\n", 16), {true, false}, 0);
  // The line test needs two lines, not just the width.
  expect_scan("ABCD", {true, false}, 4);
  expect_scan("ABCD ABCD", {true, true}, 8);
  // A width beyond the text is never reached and never allocated.
  expect_scan(repeat(base64_line(76) + "\n", 100), {false, false}, std::numeric_limits<std::uint64_t>::max());
  expect_scan(base64_line(100), {false, false}, 101);
}

}  // namespace
}  // namespace orlenta
