#include "text/utf8_convert.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "normkit/utf8.h"

namespace orlenta {
namespace {

std::string to_utf8(const std::vector<char32_t>& code_points) {
  std::string text;
  for (const char32_t c : code_points) normkit::utf8::append(text, c);
  return text;
}

// Every code point below U+0100, each behind a run of 0 to 10 ASCII
// letters, so that every one meets the eight-byte ASCII steps at every
// offset.
std::vector<char32_t> every_latin1_code_point() {
  std::vector<char32_t> code_points;
  for (char32_t c = 0; c < 0x100; ++c) {
    for (char32_t k = 0; k < c % 11; ++k) code_points.push_back('a' + k);
    code_points.push_back(c);
  }
  return code_points;
}

// Converted in place, as the binding does.
void expect_latin1_matches(const std::vector<char32_t>& code_points) {
  std::string text = to_utf8(code_points);
  ASSERT_LE(highest_byte(text), latin1_highest_byte);
  text.resize(utf8_to_latin1(text, text.data()));
  ASSERT_EQ(text.size(), code_points.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    ASSERT_EQ(static_cast<unsigned char>(text[i]), static_cast<std::uint32_t>(code_points[i])) << i;
  }
}

TEST(Utf8Convert, EveryLatin1CodePointToLatin1) { expect_latin1_matches(every_latin1_code_point()); }

TEST(Utf8Convert, HighestByteTellsTheWidestCodePoint) {
  for (const char32_t widest : {0x00, 0x7F, 0x80, 0xFF, 0x100, 0x7FF, 0x800, 0xFFFF, 0x10000, 0x10FFFF}) {
    for (std::size_t at = 0; at < 40; at += 7) {
      std::vector<char32_t> code_points(40, 'x');
      code_points[at] = widest;
      const unsigned char highest = highest_byte(to_utf8(code_points));
      EXPECT_EQ(highest < 0x80, widest < 0x80) << static_cast<std::uint32_t>(widest) << " at " << at;
      EXPECT_EQ(highest <= latin1_highest_byte, widest < 0x100) << static_cast<std::uint32_t>(widest) << " at " << at;
      EXPECT_EQ(highest < first_wide_lead_byte, widest < 0x100) << static_cast<std::uint32_t>(widest) << " at " << at;
    }
  }
}

TEST(Utf8Convert, RandomTextsOfEveryLength) {
  std::mt19937 random(20261209);
  const char32_t samples[] = {0x00, 0x7F, 0x80, 0xE9, 0xFF};
  for (std::size_t length = 0; length < 300; ++length) {
    std::vector<char32_t> code_points;
    for (std::size_t i = 0; i < length; ++i) {
      code_points.push_back(random() % 3 == 0 ? samples[random() % std::size(samples)] : 'a' + random() % 26);
    }
    expect_latin1_matches(code_points);
  }
}

// Every scalar value, each behind a run of 0 to 10 ASCII letters, as for
// Latin-1 above.
TEST(Utf8Convert, EveryScalarValueToCodePoints) {
  std::vector<char32_t> code_points;
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c < 0xE000) continue;
    for (char32_t k = 0; k < c % 11; ++k) code_points.push_back('a' + k);
    code_points.push_back(c);
  }
  const std::string text = to_utf8(code_points);
  std::vector<char32_t> decoded(text.size());
  decoded.resize(utf8_to_code_points(text, decoded.data()));
  EXPECT_EQ(decoded, code_points);
}

}  // namespace
}  // namespace orlenta
