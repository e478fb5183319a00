// The whitespace classes against the Unicode data, over the whole code space.
#include "classes/whitespace.h"

#include <gtest/gtest.h>

#include "ucd_data.h"

namespace orlenta {
namespace {

using WhitespaceVsUcd = test::UcdTest;

TEST_F(WhitespaceVsUcd, MatchTheUnicodeProperties) {
  const test::CodePointSet zs =
      test::read_property(test::ucd_dir() / "extracted" / "DerivedGeneralCategory.txt", "Zs");
  const test::CodePointSet white_space = test::read_property(test::ucd_dir() / "PropList.txt", "White_Space");
  for (char32_t cp = 0; cp < test::code_space_size; ++cp) {
    ASSERT_EQ(is_space_separator(cp), zs[cp]) << std::hex << static_cast<unsigned>(cp);
    ASSERT_EQ(is_white_space(cp), white_space[cp]) << std::hex << static_cast<unsigned>(cp);
  }
}

}  // namespace
}  // namespace orlenta
