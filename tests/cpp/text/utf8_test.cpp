#include "text/utf8.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <string_view>

#include "normkit/utf8.h"

namespace orlenta {
namespace {

// Texts of every length up to past the point where the counting tallies
// are added up (255 rounds of 16 bytes), with code points of every length
// placed at random, so that words and tails split them everywhere.
std::string random_text(std::mt19937& random, std::size_t code_points) {
  const char32_t samples[] = {'a', '\t', '\n', 0x7F, 0x1F, 0xE9, 0x7FF, 0x800, 0x4E2D, 0xFFFF, 0x10000, 0x10FFFF};
  std::string text;
  for (std::size_t i = 0; i < code_points; ++i) {
    normkit::utf8::append(text, random() % 4 == 0 ? samples[random() % std::size(samples)] : static_cast<char32_t>('a' + random() % 26));
  }
  return text;
}

// Every position of one high byte in ASCII texts around the 64-byte steps.
TEST(Utf8, NonAsciiIsFoundAnywhere) {
  for (std::size_t length = 0; length < 200; ++length) {
    std::string text(length, 'a');
    ASSERT_FALSE(has_non_ascii(text)) << length;
    for (std::size_t at = 0; at < length; ++at) {
      text[at] = '\x80';
      ASSERT_TRUE(has_non_ascii(text)) << length << " at " << at;
      text[at] = '\x7F';
    }
  }
}

// Random bytes drawn from pools that put the continuation bytes next to
// ASCII, next to lead bytes and on both edges of their range (an empty pool:
// every byte value), at every length around the block size and every
// alignment; then around the points where the tallies are added up (254
// and 255 blocks and their multiples).
TEST(Utf8, CountCodePointsMatchesByteByByte) {
  const std::string pools[] = {"", std::string("\x00\x7F\x80\xBF\xC0\xFF", 6), "\x7F\x80", "\xBF\xC0", "\x80\xBF",
                               "a\xC3\xE4\xF0\x9F\xA9\xB8"};
  const auto expect_count = [](std::string_view text) {
    std::uint64_t count = 0;
    for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0u) != 0x80u;
    ASSERT_EQ(count_code_points(text), count) << text.size() << " at " << reinterpret_cast<std::uintptr_t>(text.data()) % 16;
  };
  std::mt19937 random(1207);
  std::string buffer(16 + 4096 * 3 + 16, '\0');
  for (const std::string& pool : pools) {
    const auto fill = [&](std::size_t size) {
      for (std::size_t i = 0; i < size; ++i) buffer[i] = pool.empty() ? static_cast<char>(random()) : pool[random() % pool.size()];
    };
    for (int round = 0; round < 20; ++round) {
      fill(16 + 70);
      for (std::size_t start = 0; start < 16; ++start) {
        for (std::size_t length = 0; length <= 70; ++length) expect_count({buffer.data() + start, length});
      }
    }
    fill(buffer.size());
    for (const std::size_t tally : {4064, 4080, 8128, 8160, 12192}) {
      for (std::size_t length = tally - 17; length <= tally + 17; ++length) expect_count({buffer.data() + length % 16, length});
    }
  }
}

TEST(Utf8, WordAtATimeHelpersMatchByteByByte) {
  std::mt19937 random(20240616);
  for (std::size_t length = 0; length < 4200; length += 1 + length / 8) {
    const std::string text = random_text(random, length);
    std::uint64_t code_points = 0;
    bool non_ascii = false;
    for (const char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      code_points += (byte & 0xC0u) != 0x80u;
      non_ascii = non_ascii || byte >= 0x80;
    }
    ASSERT_EQ(count_code_points(text), code_points) << length;
    ASSERT_EQ(has_non_ascii(text), non_ascii) << length;
    for (std::size_t start = 0; start < std::min<std::size_t>(text.size(), 24); ++start) {
      std::size_t plain = start;
      while (plain < text.size() && is_plain_ascii_byte(static_cast<unsigned char>(text[plain]))) ++plain;
      ASSERT_EQ(plain_ascii_run_length(text.data() + start, text.data() + text.size()), plain - start) << length;
    }
  }
}

TEST(Utf8, PlainAsciiStopsAtEveryOtherByte) {
  for (unsigned value = 0; value < 256; ++value) {
    const auto byte = static_cast<unsigned char>(value);
    for (std::size_t at = 0; at < 20; ++at) {
      std::string text(21, 'q');
      text[at] = static_cast<char>(byte);
      const std::size_t expected = is_plain_ascii_byte(byte) ? text.size() : at;
      ASSERT_EQ(plain_ascii_run_length(text.data(), text.data() + text.size()), expected) << value << " " << at;
    }
  }
}

}  // namespace
}  // namespace orlenta
