#include "passes/decision_filter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "normkit/utf8.h"
#include "text/utf8.h"

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

// A lead byte may only let the walk step over code points that need no
// decision.
TEST(DecisionFilter, LeadBytesSkipOnlyUndecidedCodePoints) {
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    std::string bytes;
    normkit::utf8::append(bytes, cp);
    if (!lead_may_need_decision(static_cast<unsigned char>(bytes[0]))) {
      ASSERT_FALSE(needs_decision(cp)) << std::hex << static_cast<unsigned>(cp);
    }
  }
  // Plain ASCII, Latin letters with accents, Cyrillic and CJK are stepped
  // over.
  for (const int lead : {0x09, 0x0A, 0x20, 0x61, 0x7E, 0xC3, 0xD0, 0xD1, 0xE4, 0xE9}) {
    EXPECT_FALSE(lead_may_need_decision(static_cast<unsigned char>(lead))) << std::hex << lead;
  }
}

// Every code point in every lane of a block, the last lanes included, where
// the bytes after its lead byte lie in the next block; once with more text
// after it, for the blocks, and once at the end of the text, for the
// byte-by-byte tail. The curly quotes around it share their lead byte with
// decided code points without being decided.
TEST(DecisionFilter, RunStopsExactlyAtCodePointsThatNeedADecision) {
  const std::string quote = "\u201C";
  const std::string after = quote + std::string(20, 'b');
  char text[64];
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    std::string encoded;
    normkit::utf8::append(encoded, cp);
    const bool decided = needs_decision(cp);
    for (std::size_t at = 0; at <= block_size; ++at) {
      std::memset(text, 'a', at);
      if (at >= quote.size() && at % 2 == 1) std::memcpy(text, quote.data(), quote.size());
      std::memcpy(text + at, encoded.data(), encoded.size());
      std::memcpy(text + at + encoded.size(), after.data(), after.size());
      for (const std::size_t size : {at + encoded.size(), at + encoded.size() + after.size()}) {
        ASSERT_EQ(undecided_run_length(text, text + size), decided ? at : size)
            << std::hex << static_cast<unsigned>(cp) << std::dec << " at " << at << " of " << size;
      }
    }
  }
  EXPECT_EQ(undecided_run_length(nullptr, nullptr), 0u);
}

// The code points settled inside a block are decoded past its end; at the
// end of the text nothing may be read past it. Each text sits in an
// allocation of its exact size, so that the address sanitizer catches a read
// past it.
TEST(DecisionFilter, RunReadsNoByteAfterTheText) {
  for (const char32_t last : {0x1F600, 0x1F3F4, 0x201C, 0x200B, 0xAB, 0xAD, 0x61, 0x7F}) {
    for (std::size_t prefix = 0; prefix < 3 * block_size; ++prefix) {
      std::string text(prefix, 'a');
      normkit::utf8::append(text, last);
      const auto exact = std::make_unique<char[]>(text.size());
      std::memcpy(exact.get(), text.data(), text.size());
      EXPECT_EQ(undecided_run_length(exact.get(), exact.get() + text.size()),
                needs_decision(last) ? prefix : text.size())
          << std::hex << static_cast<unsigned>(last) << std::dec << " after " << prefix;
    }
  }
}

}  // namespace
}  // namespace orlenta
