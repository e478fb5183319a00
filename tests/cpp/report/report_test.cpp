#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
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

// Every code point, and values beyond them, as printf writes them.
TEST(CodePointDetail, MatchesPrintfEverywhere) {
  std::vector<std::uint32_t> values;
  for (std::uint32_t cp = 0; cp <= 0x10FFFF; ++cp) values.push_back(cp);
  std::mt19937 random(3);
  for (int i = 0; i < 100000; ++i) values.push_back(static_cast<std::uint32_t>(random()));
  values.push_back(0xFFFFFFFF);
  for (const std::uint32_t value : values) {
    char expected[16];
    std::snprintf(expected, sizeof expected, "U+%04X", value);
    ASSERT_EQ(code_point_detail(static_cast<char32_t>(value)), expected) << value;
  }
}

}  // namespace
}  // namespace orlenta
