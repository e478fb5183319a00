#include "passes/decision_filter.h"

#include <gtest/gtest.h>

#include <string>

#include "passes/utf8.h"

namespace orlenta {
namespace {

// The shortcut may only skip code points that no decision step would touch.
TEST(DecisionFilter, CoversEveryClassAndTheFlag) {
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    const bool in_a_class = is_carriage_return(cp) || is_line_separator(cp) || is_bidi_control(cp) ||
                            is_bidi_mark(cp) || is_tag_character(cp) || is_variation_selector(cp) ||
                            is_junk_invisible(cp) || is_control_or_format(cp) || is_default_ignorable(cp) ||
                            is_joiner(cp) || cp == waving_black_flag;
    if (in_a_class) {
      ASSERT_TRUE(needs_decision(cp)) << std::hex << static_cast<unsigned>(cp);
    }
  }
}

// A lead byte may only let the walk step over code points that need no
// decision.
TEST(DecisionFilter, LeadBytesSkipOnlyUndecidedCodePoints) {
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    std::string bytes;
    append_utf8(bytes, cp);
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

// The sixteen-byte test and the byte-by-byte test of the tail stop at the
// same bytes, wherever the byte stands.
TEST(DecisionFilter, RunStopsAtEveryLeadThatMayNeedADecision) {
  for (unsigned value = 0; value < 256; ++value) {
    const auto byte = static_cast<unsigned char>(value);
    const bool stops = (byte & 0xC0u) != 0x80u && lead_may_need_decision(byte);
    for (std::size_t at = 0; at < 40; ++at) {
      std::string text(41, 'a');
      text[at] = static_cast<char>(byte);
      const std::size_t expected = stops ? at : text.size();
      ASSERT_EQ(undecided_run_length(text.data(), text.data() + text.size()), expected)
          << std::hex << value << " at " << std::dec << at;
    }
  }
  EXPECT_EQ(undecided_run_length(nullptr, nullptr), 0u);
}

}  // namespace
}  // namespace orlenta
