#include "passes/encoded_blob_signal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "normkit/utf8.h"
#include "passes/entropy_signal.h"
#include "signal_test_support.h"

namespace orlenta {
namespace {

using signal_test::builtin_signals;
using signal_test::flag_count;
using signal_test::report_of;
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
  const SanitizeReport report =
      report_of(measure_encoded_blobs(text, signals), write_blob_stats, flag_encoded_blob);
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

enum Class { upper, lower, digit, symbol, whitespace, other };

Class class_of(char32_t cp) {
  if (cp >= 'A' && cp <= 'Z') return upper;
  if (cp >= 'a' && cp <= 'z') return lower;
  if (cp >= '0' && cp <= '9') return digit;
  if (cp == '+' || cp == '/' || cp == '-' || cp == '_' || cp == '=') return symbol;
  if ((cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
      (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F ||
      cp == 0x3000) {
    return whitespace;
  }
  return other;
}

// The encoded-blob test as the rules state it, one code point at a time over
// the whole text, with its window as a queue.
Expected reference_scan(std::string_view text, std::uint64_t width) {
  std::vector<char32_t> code_points;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = 0;
    code_points.push_back(decode_utf8(text.data() + i, length));
    i += length;
  }
  std::uint64_t run = 0;
  std::uint64_t longest = 0;
  for (const char32_t cp : code_points) {
    run = class_of(cp) <= symbol ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  bool wrapped = false;
  if (width > 0) {
    std::deque<std::pair<Class, bool>> window;
    std::uint64_t counts[4] = {};
    std::uint64_t boundaries = 0;
    bool follows_whitespace = false;
    std::uint64_t token = 0;
    bool all_upper = true;
    std::uint64_t previous = 0;
    std::uint64_t total = 0;
    code_points.push_back(' ');
    for (const char32_t cp : code_points) {
      const Class k = class_of(cp);
      if (k == whitespace) {
        follows_whitespace = true;
        if (token > 0) {
          if (all_upper && token >= 4 && token <= 76) {
            total = token == previous ? total + token : token;
            previous = token;
            if (total >= width && total >= 2 * token) {
              wrapped = true;
              break;
            }
          } else {
            previous = 0;
            total = 0;
          }
        }
        token = 0;
        all_upper = true;
      } else if (k <= symbol) {
        ++token;
        all_upper = all_upper && k == upper;
        if (window.size() == width) {
          --counts[window.front().first];
          boundaries -= window.front().second;
          window.pop_front();
        }
        window.emplace_back(k, follows_whitespace);
        ++counts[k];
        boundaries += follows_whitespace;
        follows_whitespace = false;
        const std::uint64_t w = width;
        const std::uint64_t u = counts[upper];
        const std::uint64_t lo = counts[lower];
        const std::uint64_t d = counts[digit];
        const std::uint64_t s = counts[symbol];
        if (window.size() == width && boundaries != (window.front().second ? 1u : 0u) &&
            ((u * 5 >= w && lo * 10 >= w) || ((u + lo) * 4 >= w && d * 8 >= w) ||
             (s >= 1 && u * 8 >= w && (u + lo) * 2 >= w))) {
          wrapped = true;
          break;
        }
      } else {
        window.clear();
        for (std::uint64_t& count : counts) count = 0;
        boundaries = 0;
        follows_whitespace = false;
        token = 0;
        all_upper = true;
        previous = 0;
        total = 0;
      }
    }
  }
  return {longest >= width || wrapped, wrapped};
}

// The quick walk looks at 64 bytes at a time and runs the exact test only
// on segments that may be wrapped; on texts made of blob material, wrapped
// lines, breaks and other code points it must agree with the rules for
// every width, those around the chunk size included, and for every length,
// texts shorter than a chunk and last chunks cut short included.
TEST(EncodedBlobSignal, RandomTextsMatchTheRules) {
  const std::vector<std::string_view> pieces = {
      " ", " ", "\n", "\t", ".", ",", "\xC3\xA9", "\xD0\xB6", "\xE4\xB8\xAD", "\xC2\xA9", "\xC2\x85", "\xC2\xA0",
      "\xE2\x80\x94", "\xE2\x80\xA8", "\xE3\x80\x80", "\xE3\x80\x81", "\xE1\x9A\x80", "\xE1\x9A\x81", "\xF0\x9F\x98\x80"};
  const std::string_view alphabets[] = {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz", "0123456789",
                                        "+/-_=", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="};
  std::mt19937 random(20240615);
  for (int round = 0; round < 4000; ++round) {
    std::string text;
    const int count = static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) {
      if (random() % 2 == 0) {
        text += pieces[random() % pieces.size()];
        continue;
      }
      if (random() % 8 == 0) {
        const std::size_t line_length = 4 + random() % 30;
        for (std::size_t line = random() % 6; line > 0; --line) {
          for (std::size_t j = 0; j < line_length; ++j) text += static_cast<char>('A' + random() % 26);
          text += random() % 4 == 0 ? " " : "\n";
        }
        continue;
      }
      const std::string_view alphabet = alphabets[random() % std::size(alphabets)];
      const std::size_t length = random() % 3 == 0 ? 4 + random() % 80 : 1 + random() % 12;
      for (std::size_t j = 0; j < length; ++j) text += alphabet[random() % alphabet.size()];
    }
    for (const std::uint64_t width : {1u, 4u, 12u, 16u, 17u, 31u, 40u, 62u, 63u, 64u, 65u, 100u}) {
      SignalSpec signals = builtin_signals();
      signals.base64_min_chars = width;
      const SanitizeReport report =
          report_of(measure_encoded_blobs(text, signals), write_blob_stats, flag_encoded_blob);
      const Expected expected = reference_scan(text, width);
      ASSERT_EQ(stat<bool>(report, "base64ish"), expected.base64ish) << text << " width " << width;
      ASSERT_EQ(stat<bool>(report, "base64ish_wrapped"), expected.wrapped) << text << " width " << width;
    }
  }
}

// The texts measured by the sieve and the filter, for every code point at
// the ends of blocks and chunks, in contexts where its class decides the
// result: between two lines, where it joins them into one run, breaks them
// over whitespace or splits them; as the eighth upper-case letter of a
// window that needs eight; and inside a run exactly as long as the width.
// Each context's result for a class comes from the rules, once.
TEST(EncodedBlobSignal, EveryCodePointAtEveryChunkEdgeMatchesTheRules) {
  constexpr std::uint64_t width = 64;
  const std::string line40 = base64_line(40);
  // Seven upper-case letters, a symbol and 55 lower-case letters in short
  // tokens, so that no block is all run material; the code point in
  // question starts the last token.
  const std::string window_start = "MMMMMMM+" + repeat(" qqqqqqqq", 6) + " ";
  const std::string window_end(7, 'q');
  struct Context {
    std::string before;
    std::string after;
  };
  // The code point lands at the end or the start of a block or a chunk.
  const auto between_lines = [&line40](std::size_t at) { return Context{std::string(at - 40, ' ') + line40, line40}; };
  const auto in_window = [&](std::size_t at) {
    return Context{std::string(at - window_start.size(), ' ') + window_start, window_end};
  };
  // A run of 64 with the code point at lane `lane` of it.
  const auto in_run = [](std::size_t at, std::size_t lane) {
    return Context{std::string(at - lane, ' ') + std::string(lane, 'x'), std::string(63 - lane, 'x')};
  };
  std::vector<Context> contexts = {between_lines(47), between_lines(63), between_lines(64),
                                   in_window(63),     in_window(64),     in_window(80),
                                   in_run(64, 0),     in_run(79, 15)};
  // And at the end of the text, in the zero-padded last chunk.
  contexts.push_back({between_lines(64).before, ""});
  contexts.push_back(in_run(79, 63));

  const char32_t representatives[] = {'Q', 'q', '7', '+', ' ', '.'};
  std::vector<std::array<Expected, 6>> expected(contexts.size());
  for (std::size_t i = 0; i < contexts.size(); ++i) {
    for (std::size_t k = 0; k < 6; ++k) {
      std::string text = contexts[i].before;
      normkit::utf8::append(text, representatives[k]);
      expected[i][k] = reference_scan(text + contexts[i].after, width);
    }
  }
  SignalSpec signals = builtin_signals();
  signals.base64_min_chars = width;
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    for (std::size_t i = 0; i < contexts.size(); ++i) {
      std::string text = contexts[i].before;
      normkit::utf8::append(text, cp);
      text += contexts[i].after;
      const BlobSignals measured = measure_encoded_blobs(text, signals);
      const Expected& e = expected[i][class_of(cp)];
      ASSERT_TRUE(measured.base64ish == e.base64ish && measured.wrapped == e.wrapped)
          << std::hex << static_cast<unsigned>(cp) << std::dec << " in context " << i;
    }
  }
}

// The census of the entropy count settles the count of upper-case letters
// and digits: texts with about as many of them as a wrapped blob needs, in
// runs of material around the length of a stretch, with and without a
// census of the whole text, come out as without one.
TEST(EncodedBlobSignal, CensusCountsMatchTheScan) {
  // Wrapped blobs with just an eighth of the width of 64 in upper case or
  // digits, for each rule of the make-up that takes that few, in words too
  // short to hold a stretch of material.
  std::vector<std::string> texts = {"AAAAAAAA+aaaaaaa", "12345678aaaaaaaa"};
  for (std::string& text : texts) text.append(" aaaaaaaaaaaaaaaaaaaa aaaaaaaaaaaaaaaaaaaa\naaaaaaaa");
  for (const std::string& text : texts) EXPECT_TRUE(reference_scan(text, 64).wrapped) << text;
  const std::string_view pieces[] = {"x", "X", "7", ":", "+", " ", "\n", ".", "\xC3\xA9", "\xF0\x9F\x98\x80"};
  std::mt19937 random(20261210);
  for (int round = 0; round < 4000; ++round) {
    std::string text;
    const std::size_t size = random() % 400;
    // Mostly lower case, with a few of the other pieces, so that the count
    // lands near an eighth of the width and runs near a stretch.
    const unsigned other_odds = 2 + random() % 40;
    while (text.size() < size) text += random() % other_odds == 0 ? pieces[1 + random() % 9] : pieces[0];
    texts.push_back(text);
  }
  for (std::size_t round = 0; round < texts.size(); ++round) {
    const std::string& text = texts[round];
    const std::size_t size = text.size();
    for (const std::uint64_t prefix_chars : {std::uint64_t{2000}, std::uint64_t{size / 2}}) {
      SignalSpec signals = builtin_signals();
      signals.entropy_prefix_chars = prefix_chars;
      TextCensus census;
      measure_entropy_and_census(text, signals, 0, census);
      for (const std::uint64_t width : {0u, 1u, 24u, 31u, 32u, 40u, 63u, 64u, 65u, 100u, 200u}) {
        signals.base64_min_chars = width;
        const BlobSignals plain = measure_encoded_blobs(text, signals);
        const BlobSignals settled = measure_encoded_blobs_with_census(text, signals, census);
        ASSERT_TRUE(settled.base64ish == plain.base64ish && settled.wrapped == plain.wrapped)
            << "round " << round << " width " << width << " prefix " << prefix_chars;
      }
    }
  }
}

// Long texts of blob material, whitespace and rare segment ends, so that
// pieces grow past the length at which the rest is left to the walk, and
// the filter counts over many blocks.
TEST(EncodedBlobSignal, LongTextsMatchTheRules) {
  const std::string_view alphabets[] = {"abcdefghijklmnopqrstuvwxyz", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789",
                                        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="};
  const std::string_view breaks[] = {" ", "\n", ".", "\xC3\xA9", "\xE3\x80\x80", "\xF0\x9F\x98\x80"};
  std::mt19937 random(20261209);
  for (int round = 0; round < 300; ++round) {
    std::string text;
    const std::size_t size = 500 + random() % 5000;
    const std::string_view alphabet = alphabets[random() % std::size(alphabets)];
    const unsigned break_odds = 2 + random() % 200;
    while (text.size() < size) {
      if (random() % break_odds == 0) {
        text += breaks[random() % (random() % 4 == 0 ? std::size(breaks) : 2)];
      } else {
        text += alphabet[random() % alphabet.size()];
      }
    }
    for (const std::uint64_t width : {40u, 64u, 100u, 700u}) {
      SignalSpec signals = builtin_signals();
      signals.base64_min_chars = width;
      const BlobSignals measured = measure_encoded_blobs(text, signals);
      const Expected expected = reference_scan(text, width);
      ASSERT_EQ(measured.base64ish, expected.base64ish) << "round " << round << " width " << width;
      ASSERT_EQ(measured.wrapped, expected.wrapped) << "round " << round << " width " << width;
    }
  }
}

}  // namespace
}  // namespace orlenta
