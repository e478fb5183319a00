#include "detect/combining_abuse.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classes/code_point_classes.h"
#include "normkit/utf8.h"

namespace orlenta::detect {
namespace {

// The scan skips blocks without a lead byte of U+0300 or above and answers
// marks of the first plane from a bitmap: every code point, three times on
// a Latin letter, at every position of a block, must be zalgo exactly when
// it is a mark other than a variation selector.
TEST(CombiningAbuse, EveryStackingMarkAndNothingElseMakesZalgo) {
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    std::string text(cp % 16, ' ');
    text += 'a';
    for (int i = 0; i < 3; ++i) normkit::utf8::append(text, cp);
    text += " end of the text, past a block";
    std::vector<Finding> found;
    find_combining_abuse(text, found);
    const bool mark = is_combining_mark(cp) && !is_variation_selector(cp);
    ASSERT_EQ(found.size(), mark ? 1u : 0u) << std::hex << static_cast<unsigned>(cp);
    if (mark) {
      EXPECT_EQ(found[0].kind, FindingKind::zalgo);
      EXPECT_EQ(found[0].start, cp % 16);
    }
  }
}

}  // namespace
}  // namespace orlenta::detect
