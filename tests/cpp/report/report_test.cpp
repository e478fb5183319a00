#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/report.h"

namespace orlenta {
namespace {

TEST(CodePointDetail, UpperCaseHexWithAtLeastFourDigits) {
  const std::vector<std::pair<char32_t, std::string>> cases = {
      {0x0000, "U+0000"}, {0x000D, "U+000D"},   {0x00AD, "U+00AD"},   {0x200B, "U+200B"},
      {0xFEFF, "U+FEFF"}, {0x10000, "U+10000"}, {0xE0041, "U+E0041"}, {0x10FFFF, "U+10FFFF"},
  };
  for (const auto& [cp, detail] : cases) EXPECT_EQ(code_point_detail(cp), detail);
}

}  // namespace
}  // namespace orlenta
