#include "utf8_from_code_points.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "normkit/utf8.h"

namespace orlenta {
namespace {

// The UTF-8 of the code points, or nullopt; the room is exactly four bytes
// per code point, so that a store past it shows under the sanitizers.
std::optional<std::string> encoded(const std::vector<std::uint32_t>& code_points, bool one_by_one) {
  std::vector<char> out(4 * code_points.size());
  const auto size = one_by_one ? utf8_from_code_points_one_by_one(code_points.data(), code_points.size(), out.data())
                               : utf8_from_code_points(code_points.data(), code_points.size(), out.data());
  if (!size) return std::nullopt;
  return std::string(out.data(), *size);
}

std::optional<std::string> expected(const std::vector<std::uint32_t>& code_points) {
  std::string utf8;
  for (const std::uint32_t cp : code_points) {
    if (cp >= 0xD800 && cp <= 0xDFFF) return std::nullopt;
    normkit::utf8::append(utf8, static_cast<char32_t>(cp));
  }
  return utf8;
}

// Every code point in each of the four lanes of a group, after an ASCII
// run of sixteen, among neighbours of every length, and in the tail. A
// surrogate fails the whole text, so it takes a text per place.
TEST(Utf8FromCodePoints, EveryCodePointInEveryPlace) {
  const std::uint32_t neighbours[] = {'a', 0xE9, 0x4E2D, 0x1F600};
  const auto text_with = [&](std::uint32_t cp, std::size_t first_place, std::size_t last_place) {
    std::vector<std::uint32_t> text(16, 'x');
    for (std::size_t place = first_place; place <= last_place && place < 4; ++place) {
      for (std::size_t k = 0; k < 4; ++k) text.push_back(k == place ? cp : neighbours[(cp + k) % 4]);
    }
    if (last_place == 4) text.push_back(cp);  // the tail, one by one
    return text;
  };
  for (std::uint32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    for (std::size_t place = 0; place < 5; place = surrogate ? place + 1 : 5) {
      const std::vector<std::uint32_t> text = surrogate ? text_with(cp, place, place) : text_with(cp, 0, 4);
      const std::optional<std::string> want = expected(text);
      ASSERT_EQ(encoded(text, false), want) << std::hex << cp << " in place " << place;
      if (cp % 97 == 0) {
        ASSERT_EQ(encoded(text, true), want) << std::hex << cp;
      }
    }
  }
}

// Random texts of each mix: runs of ASCII, Latin, CJK and emoji, the
// occasional surrogate, at every length and alignment.
TEST(Utf8FromCodePoints, RandomMixesMatchOneByOne) {
  std::mt19937 random(20261209);
  const std::uint32_t ranges[][2] = {{0, 0x7F}, {0x80, 0x7FF}, {0x800, 0xFFFF}, {0x10000, 0x10FFFF}};
  for (int round = 0; round < 20000; ++round) {
    const std::size_t length = random() % 70;
    const unsigned mix = 1 + random() % 15;  // the ranges this text draws from, one bit each
    std::vector<std::uint32_t> text;
    while (text.size() < length) {
      const std::size_t range = random() % 4;
      if (((mix >> range) & 1) == 0) continue;
      const auto [first, last] = ranges[range];
      std::uint32_t cp = first + static_cast<std::uint32_t>(random() % (last - first + 1));
      if (cp >= 0xD800 && cp <= 0xDFFF && random() % 50 != 0) cp = 'z';
      text.push_back(cp);
    }
    const std::optional<std::string> want = expected(text);
    ASSERT_EQ(encoded(text, false), want);
    ASSERT_EQ(encoded(text, true), want);
  }
}

}  // namespace
}  // namespace orlenta
