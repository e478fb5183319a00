#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "report/decimal.h"
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

// Every value below ten million, each power of ten and of two with its
// neighbours, and random values of every length, as std::to_chars writes
// them.
TEST(Decimal, MatchesToChars) {
  std::vector<std::uint64_t> values;
  for (std::uint64_t value = 0; value < 10000000; ++value) values.push_back(value);
  for (std::uint64_t power = 1; power <= 10000000000000000000ULL; power *= 10) {
    values.insert(values.end(), {power - 1, power, power + 1});
    if (power > std::numeric_limits<std::uint64_t>::max() / 10) break;
  }
  for (int bits = 1; bits < 64; ++bits) {
    const std::uint64_t power = std::uint64_t{1} << bits;
    values.insert(values.end(), {power - 1, power, power + 1});
  }
  std::mt19937_64 random(5);
  for (int i = 0; i < 1000000; ++i) values.push_back(random() >> (random() % 64));
  values.push_back(std::numeric_limits<std::uint64_t>::max());
  for (const std::uint64_t value : values) {
    char expected[max_decimal_digits];
    char written[max_decimal_digits];
    const std::string_view want(expected, std::to_chars(expected, expected + sizeof expected, value).ptr);
    ASSERT_EQ(std::string_view(written, write_decimal(written, value)), want);
  }
}

}  // namespace
}  // namespace orlenta
