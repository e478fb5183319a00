#include "passes/decision_filter.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace orlenta
