#include "passes/decision_filter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "normkit/normalize.h"
#include "normkit/utf8.h"

namespace orlenta {
namespace {

// The shortcut may only skip code points that no decision step would touch,
// and skips all the others: punctuation that prose is full of must not cost
// a decision.
TEST(DecisionFilter, DecidesExactlyTheClassesAndTheFlag) {
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    const bool in_a_class = is_carriage_return(cp) || is_line_separator(cp) || is_bidi_control(cp) ||
                            is_bidi_mark(cp) || is_tag_character(cp) || is_variation_selector(cp) ||
                            is_junk_invisible(cp) || is_control_or_format(cp) || is_default_ignorable(cp) ||
                            is_joiner(cp) || cp == waving_black_flag;
    ASSERT_EQ(needs_decision(cp), in_a_class) << std::hex << static_cast<unsigned>(cp);
  }
}

// The decided positions of [p, end).
std::vector<std::size_t> decided_positions(const char* p, const char* end) {
  std::vector<std::size_t> positions;
  for_each_decision(p, end, [&](const char* at) {
    positions.push_back(static_cast<std::size_t>(at - p));
    return true;
  });
  return positions;
}

std::vector<std::size_t> decided_positions(const std::string& text) {
  return decided_positions(text.data(), text.data() + text.size());
}

// Every code point in every lane of a chunk and of the padded rest, with its
// continuation bytes in the next block or chunk or at the very end of the
// text. The curly quotes before it share their lead byte with decided code
// points, and the text goes on past it by none, one or more than a chunk and
// the reach, so that it is tested in the full chunks and in every block of
// the rest.
TEST(DecisionFilter, DecidesExactlyTheCodePointsThatNeedADecision) {
  const std::string quote = "\u201C";
  char text[3 * chunk_size];
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    std::string encoded;
    normkit::utf8::append(encoded, cp);
    const bool decided = needs_decision(cp);
    for (std::size_t at = 0; at <= chunk_size + decision_reach; ++at) {
      std::memset(text, 'a', sizeof text);
      if (at >= quote.size() && at % 2 == 1) std::memcpy(text, quote.data(), quote.size());
      std::memcpy(text + at, encoded.data(), encoded.size());
      for (const std::size_t after : {std::size_t{0}, std::size_t{1}, chunk_size + decision_reach}) {
        // Where the text ends one byte after it, the rest's lanes are cut
        // a lane later: the first block and the chunk's edge show that.
        if (after == 1 && at > block_size + decision_reach && at + block_size < chunk_size) continue;
        std::size_t calls = 0;
        std::size_t decided_at = 0;
        for_each_decision(text, text + at + encoded.size() + after, [&](const char* p) {
          ++calls;
          decided_at = static_cast<std::size_t>(p - text);
          return true;
        });
        ASSERT_EQ(calls, decided ? 1u : 0u) << std::hex << static_cast<unsigned>(cp) << std::dec << " at " << at;
        ASSERT_EQ(decided_at, decided ? at : 0u) << std::hex << static_cast<unsigned>(cp);
      }
    }
  }
}

// At the end of the text nothing may be read past it. Each text sits in an
// allocation of its exact size, so that the address sanitizer catches a read
// past it.
TEST(DecisionFilter, ReadsNoByteAfterTheText) {
  for (const char32_t last : {0x1F600, 0x1F3F4, 0xE0067, 0x201C, 0x200B, 0xFE0F, 0xAB, 0xAD, 0x61, 0x7F}) {
    for (std::size_t prefix = 0; prefix < 2 * chunk_size + block_size; ++prefix) {
      std::string text(prefix, 'a');
      normkit::utf8::append(text, last);
      const auto exact = std::make_unique<char[]>(text.size());
      std::memcpy(exact.get(), text.data(), text.size());
      const std::vector<std::size_t> expected =
          needs_decision(last) ? std::vector<std::size_t>{prefix} : std::vector<std::size_t>{};
      EXPECT_EQ(decided_positions(exact.get(), exact.get() + text.size()), expected)
          << std::hex << static_cast<unsigned>(last) << std::dec << " after " << prefix;
    }
  }
}

// Dense decisions are all handed out, in order, across block edges; an
// early stop ends the walk.
TEST(DecisionFilter, HandsOutEveryDecisionInOrderAndStopsWhenAsked) {
  std::string text;
  std::vector<std::size_t> expected;
  for (int i = 0; i < 40; ++i) {
    expected.push_back(text.size());
    text += i % 3 == 0 ? "\u200B" : (i % 3 == 1 ? "\x01" : "\U000E0067");
    if (i % 4 == 0) text += "x\u2764";
  }
  EXPECT_EQ(decided_positions(text), expected);
  EXPECT_TRUE(decided_positions("").empty());
  std::size_t calls = 0;
  EXPECT_FALSE(for_each_decision(text.data(), text.data() + text.size(), [&](const char*) { return ++calls < 5; }));
  EXPECT_EQ(calls, 5u);
}

// The removal pass writes over the bytes it has decided, up to the end of
// the code point in hand, before the next blocks are tested; what it writes
// there must not change which code points they decide.
TEST(DecisionFilter, WritesOverDecidedBytesChangeNoDecision) {
  std::string text;
  for (int i = 0; i < 30; ++i) {
    text += i % 2 == 0 ? "ab\u200B" : "\U000E0067c\uFE0F";
    text.append(static_cast<std::size_t>(i % 7), 'd');
  }
  const std::vector<std::size_t> expected = decided_positions(text);
  std::string scribbled = text;
  char* const data = scribbled.data();
  std::vector<std::size_t> positions;
  for_each_decision(data, data + scribbled.size(), [&](const char* at) {
    const auto i = static_cast<std::size_t>(at - data);
    positions.push_back(i);
    std::size_t length = 0;
    while (i + length + 1 < scribbled.size() && (static_cast<unsigned char>(data[i + length + 1]) & 0xC0) == 0x80) ++length;
    std::memset(data, 0x01, i + length + 1);
    return true;
  });
  EXPECT_EQ(positions, expected);
}

// The removal pass takes a removal followed by ASCII as joining nothing.
TEST(DecisionFilter, AsciiHasABoundaryBeforeInBothForms) {
  for (char32_t cp = 0; cp < 0x80; ++cp) {
    EXPECT_TRUE(normkit::has_boundary_before(cp, normkit::Form::nfc)) << static_cast<unsigned>(cp);
    EXPECT_TRUE(normkit::has_boundary_before(cp, normkit::Form::nfkc)) << static_cast<unsigned>(cp);
  }
}

}  // namespace
}  // namespace orlenta
