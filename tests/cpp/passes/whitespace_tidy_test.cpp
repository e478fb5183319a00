#include "passes/whitespace_tidy.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "classes/whitespace.h"
#include "normkit/utf8.h"
#include "text/utf8.h"

namespace orlenta {
namespace {

struct Tidied {
  std::string text;
  std::uint64_t count = 0;  // "whitespace_tidy", 0 when nothing changed
  bool changed = false;
};

bool is_tidy_whitespace(char32_t cp) { return cp == 0x09 || is_space_separator(cp); }

// The tidy as the rules state it: one pass into a new string, then the
// trims, then the comparison with the text before.
Tidied reference_tidy(std::string_view input) {
  std::string tidied;
  bool last_was_space = false;
  bool at_line_start = false;
  for (std::size_t i = 0; i < input.size();) {
    std::size_t length = 0;
    const char32_t cp = decode_utf8(input.data() + i, length);
    if (is_tidy_whitespace(cp)) {
      if (!at_line_start && !last_was_space) {
        tidied += ' ';
        last_was_space = true;
      }
    } else if (cp == '\n') {
      if (!tidied.empty() && tidied.back() == ' ') tidied.pop_back();
      tidied += '\n';
      at_line_start = true;
      last_was_space = false;
    } else {
      tidied.append(input.substr(i, length));
      at_line_start = false;
      last_was_space = false;
    }
    i += length;
  }
  tidied.erase(0, std::min(tidied.find_first_not_of(' '), tidied.size()));
  while (!tidied.empty() && tidied.back() == ' ') tidied.pop_back();
  while (!tidied.empty() && tidied.back() == '\n') tidied.pop_back();
  if (tidied == input) return {std::string(input), 0, false};
  const std::uint64_t before = count_code_points(input);
  const std::uint64_t after = count_code_points(tidied);
  return {tidied, before > after ? before - after : 1, true};
}

Tidied tidy(std::string_view input) {
  std::string text(input);
  const std::uint64_t counted = run_whitespace_tidy(text);
  return {text, counted, counted != 0};
}

void expect_same(std::string_view input) {
  const Tidied expected = reference_tidy(input);
  const Tidied actual = tidy(input);
  EXPECT_EQ(actual.text, expected.text) << input;
  EXPECT_EQ(actual.count, expected.count) << input;
  EXPECT_EQ(actual.changed, expected.changed) << input;
}

TEST(WhitespaceTidy, Rules) {
  struct Case {
    std::string_view input;
    std::string_view output;
    std::uint64_t count;
  };
  const Case cases[] = {
      {"", "", 0},
      {"   ", "", 3},
      {"a\xC2\xA0" "b", "a b", 1},
      {"a \t b", "a b", 2},
      {"  a  \n  b  ", "a\nb", 8},
      {"a\n   \nb", "a\n\nb", 3},
      {"a\n\n\n\nb", "a\n\n\n\nb", 0},
      {"\n\na", "\n\na", 0},
      {"a\n\n", "a", 2},
      {"a \n", "a", 2},
      {"\tx", "x", 1},
      {"\xE3\x80\x80x", "x", 1},
      {"a\tb", "a b", 1},
      {"one two three four five six", "one two three four five six", 0},
  };
  for (const Case& c : cases) {
    const Tidied tidied = tidy(c.input);
    EXPECT_EQ(tidied.text, c.output) << c.input;
    EXPECT_EQ(tidied.count, c.count) << c.input;
    EXPECT_EQ(tidied.changed, c.count != 0) << c.input;
  }
}

// The 64-byte chunks keep single spaces and line feeds between ordinary
// bytes as they are; those next to chunk edges, doubled ones, tabs and wide
// spaces are looked at one by one. Every position against a chunk edge is
// covered by shifting the same material, followed by text long enough for
// the next chunk.
TEST(WhitespaceTidy, BlockEdgesMatchTheRules) {
  const std::string_view pieces[] = {" ", "  ", "\n", "\t", "ab", "x", "\xC2\xA0", "\xC2\xA9", "\xE3\x80\x80",
                                     "\xE3\x80\x81", "\xE2\x80\x8A", "\xE2\x80\x8B", "\xE2\x80\xAF", "\xE2\x81\x9F",
                                     "\xE2\x81\x9E", "\xE1\x9A\x80", "\xE1\x9A\x81", "\xC3\xA9", "\v",
                                     "\xE2\x80\x9C", "\xE2\x81\xA0", "\xE3\x81\x80", "\xE1\x80\x80"};
  const std::string tail = "tail text\nwith lines and words that go on past the end of the next chunk\n";
  for (std::size_t shift = 0; shift < 67; ++shift) {
    for (const std::string_view a : pieces) {
      for (const std::string_view b : pieces) {
        const std::string prefix(shift, 'w');
        expect_same(prefix + std::string(a) + std::string(b) + tail);
        expect_same(prefix + " " + std::string(a) + std::string(b));
        expect_same(std::string(a) + prefix + std::string(b) + " z " + tail + std::string(a));
      }
    }
  }
}

// The chunk test tells wide spaces from the other code points under their
// lead bytes by all their bytes: every BMP code point, and a few beyond, at
// both ends of a chunk and between separators.
TEST(WhitespaceTidy, EveryCodePointIsToldApartFromWideSpaces) {
  for (char32_t cp = 0x80; cp < 0x10010; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    std::string encoded;
    normkit::utf8::append(encoded, cp);
    expect_same(std::string(62, 'x') + encoded + " y" + encoded + "\n");
    expect_same(" " + encoded + " " + std::string(70, 'z') + encoded);
  }
}

// Every text of up to five pieces among ordinary bytes, separators, tabs
// and a wide space, at the start of a chunk, across the edge of one and at
// the end of the text or before more: spaces, line feeds and tabs skip the
// chunk reading, the rest does not.
TEST(WhitespaceTidy, ShortTextsAtChunkEdgesMatchTheRules) {
  const std::string_view pieces[] = {"a", " ", "\n", "\t", "\xE3\x80\x80", "\xC3\xA9"};
  constexpr std::size_t piece_count = std::size(pieces);
  const std::string tail = " tail words\nthat reach into the next chunk of the text, and on";
  for (const std::size_t shift : {0, 1, 60, 61, 62, 63, 64, 65}) {
    const std::string prefix(shift, 'w');
    for (std::size_t length = 0; length <= 5; ++length) {
      std::size_t combinations = 1;
      for (std::size_t i = 0; i < length; ++i) combinations *= piece_count;
      for (std::size_t index = 0; index < combinations; ++index) {
        std::string text = prefix;
        for (std::size_t i = 0, rest = index; i < length; ++i, rest /= piece_count) text += pieces[rest % piece_count];
        expect_same(text);
        expect_same(text + tail);
      }
    }
  }
}

// Most texts are tidy already and are settled chunk by chunk from their
// second byte on; the tidy then goes on from the first chunk that may need
// it, with what the settled bytes before it left behind. Tidy prose of every
// length up to three chunks, alone and with one fault at each position.
TEST(WhitespaceTidy, TidyTextsWithOneFaultMatchTheRules) {
  const std::string prose =
      "one two\nthree\n\nfour \xC3\xA9 five \xE2\x80\x9C six\xE3\x80\x81 seven \xE1\x9A\x81 eight\n"
      "nine ten eleven\n\n\ntwelve thirteen fourteen fifteen sixteen seventeen eighteen nineteen twenty x\n"
      "twenty-one twenty-two twenty-three twenty-four\xE2\x80\x94twenty-five";
  const std::string_view faults[] = {" ", "  ", "\n", "\t", "\xC2\xA0", "\xE2\x80\x80", "\xE3\x80\x80"};
  const auto is_boundary = [&](std::size_t at) { return at == prose.size() || (prose[at] & 0xC0) != 0x80; };
  ASSERT_GT(prose.size(), 3 * 64 + 3);
  for (std::size_t length = 0; length <= prose.size(); ++length) {
    if (!is_boundary(length)) continue;
    const std::string text = prose.substr(0, length);
    expect_same(text);
    for (std::size_t at = 0; at <= length; ++at) {
      if (!is_boundary(at)) continue;
      for (const std::string_view fault : faults) expect_same(text.substr(0, at) + std::string(fault) + text.substr(at));
    }
  }
}

TEST(WhitespaceTidy, RandomTextsMatchTheRules) {
  const std::vector<std::string_view> pieces = {
      " ",  " ",  " ",  "  ",          "\t",           "\n",           "word",         "a",
      "\xC3\xA9", "\xE4\xB8\xAD", "\xC2\xA0",     "\xE3\x80\x80", "\xE2\x80\x80", "\xE2\x80\x89", "\xE2\x80\x8B",
      ".",  "\r", "\xE1\x9A\x80", "\xE2\x80\xA8", "longerwordwithoutspaces", "\xE2\x80\x9C",
      "\xE1\x80\x80\xE1\x80\xAC"};
  std::mt19937 random(20240614);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const int count = static_cast<int>(random() % (round % 4 == 0 ? 400 : 60));
    for (int i = 0; i < count; ++i) text += pieces[random() % pieces.size()];
    expect_same(text);
  }
}

}  // namespace
}  // namespace orlenta
