// The generated variation-sequence table against the Unicode data it was
// made from, and the lookups built on it.
#include "classes/variation_sequences.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "normkit/normalize.h"
#include "ucd_data.h"

namespace orlenta {
namespace {

using test::read_data_lines;
using test::ucd_dir;

using Pair = std::pair<char32_t, char32_t>;

std::set<Pair> table_pairs() {
  std::set<Pair> pairs;
  for (const VariationSequence& row : variation_sequence_table()) {
    pairs.emplace(row.base, row.selector);
  }
  return pairs;
}

std::string describe(const Pair& pair) {
  char text[24];
  std::snprintf(text, sizeof text, "U+%04X U+%04X", static_cast<unsigned>(pair.first),
                static_cast<unsigned>(pair.second));
  return text;
}

char32_t parse_hex(const std::string& text) { return static_cast<char32_t>(std::stoul(text, nullptr, 16)); }

TEST(VariationSequenceTable, IsStrictlySortedByBaseThenSelector) {
  const auto table = variation_sequence_table();
  for (std::size_t i = 1; i < table.size(); ++i) {
    EXPECT_LT(Pair(table[i - 1].base, table[i - 1].selector), Pair(table[i].base, table[i].selector))
        << "row " << i;
  }
}

TEST(VariationSequenceTable, HasItsSizeEndRowsAndSelectorCounts) {
  const auto table = variation_sequence_table();
  ASSERT_EQ(table.size(), 2095u);
  const std::vector<Pair> first_rows = {{0x0023, 0xFE0E}, {0x0023, 0xFE0F}, {0x002A, 0xFE0E}, {0x002A, 0xFE0F},
                                        {0x0030, 0xFE00}, {0x0030, 0xFE0E}, {0x0030, 0xFE0F}};
  for (std::size_t i = 0; i < first_rows.size(); ++i) {
    EXPECT_EQ(Pair(table[i].base, table[i].selector), first_rows[i]) << "row " << i;
  }
  EXPECT_EQ(Pair(table.back().base, table.back().selector), Pair(0x2A600, 0xFE00));

  std::map<char32_t, std::size_t> per_selector;
  for (const VariationSequence& row : table) {
    ++per_selector[row.selector];
  }
  const std::map<char32_t, std::size_t> expected = {
      {0x180B, 40}, {0x180C, 14}, {0x180D, 6},  {0xFE00, 1055}, {0xFE01, 151}, {0xFE02, 53},
      {0xFE03, 16}, {0xFE04, 2},  {0xFE05, 2}, {0xFE06, 14},   {0xFE0E, 371}, {0xFE0F, 371},
  };
  EXPECT_EQ(per_selector, expected);
}

TEST(VariationSequenceTable, ComesFromTheSameUnicodeVersionAsNormalization) {
  EXPECT_EQ(variation_sequence_table_version(), normkit::unicode_version);
}

TEST(VariationSequenceLookup, FindsEveryRowAndRejectsItsNeighbours) {
  const std::set<Pair> pairs = table_pairs();
  for (const auto& [base, selector] : pairs) {
    EXPECT_TRUE(is_variation_sequence(base, selector));
    for (const Pair& near : {Pair(base - 1, selector), Pair(base + 1, selector), Pair(base, selector - 1),
                             Pair(base, selector + 1)}) {
      EXPECT_EQ(is_variation_sequence(near.first, near.second), pairs.contains(near)) << describe(near);
    }
  }
  // Ideographic sequences such as U+6F22 U+E0100 are not in the table: any
  // Han ideograph accepts those selectors.
  const Pair outside[] = {{0x0000, 0xFE0F}, {0x0023, 0x0000}, {0x0078, 0xFE0F},
                          {0x2A600, 0xFE01}, {0x10FFFF, 0xFE0F}, {0x6F22, 0xE0100}};
  for (const Pair& pair : outside) {
    EXPECT_FALSE(is_variation_sequence(pair.first, pair.second)) << describe(pair);
  }
}

// Every code point before every selector of the table, against the rows.
TEST(VariationSequenceLookup, AgreesWithTheTableForEveryBase) {
  std::map<char32_t, std::vector<bool>> bases_by_selector;
  for (const auto& [base, selector] : table_pairs()) {
    std::vector<bool>& bases = bases_by_selector[selector];
    bases.resize(0x110000);
    bases[base] = true;
  }
  for (const auto& [selector, bases] : bases_by_selector) {
    for (char32_t base = 0; base <= 0x10FFFF; ++base) {
      ASSERT_EQ(is_variation_sequence(base, selector), bases[base]) << describe({base, selector});
    }
  }
}

TEST(HanIdeograph, CoversExactlyTheFiveBlocks) {
  const std::pair<char32_t, bool> probes[] = {
      {0x0041, false},  {0x33FF, false},  {0x3400, true},   {0x4DBF, true},   {0x4DC0, false},
      {0x4DFF, false},  {0x4E00, true},   {0x6F22, true},   {0x9FFF, true},   {0xA000, false},
      {0xF8FF, false},  {0xF900, true},   {0xFAFF, true},   {0xFB00, false},  {0x1FFFF, false},
      {0x20000, true},  {0x2FA1F, true},  {0x2FA20, false}, {0x2FFFF, false}, {0x30000, true},
      {0x3347F, true},  {0x33480, false}, {0xE0100, false}, {0x10FFFF, false},
  };
  for (const auto& [cp, han] : probes) {
    EXPECT_EQ(is_han_ideograph(cp), han) << std::hex << static_cast<unsigned>(cp);
  }
}

using VariationSequencesVsUcd = test::UcdTest;

TEST_F(VariationSequencesVsUcd, TableIsTheUnionOfBothDataFiles) {
  std::set<Pair> from_files;
  for (const char* file : {"StandardizedVariants.txt", "emoji/emoji-variation-sequences.txt"}) {
    for (const auto& fields : read_data_lines(ucd_dir() / file)) {
      const auto space = fields[0].find(' ');
      from_files.emplace(parse_hex(fields[0].substr(0, space)), parse_hex(fields[0].substr(space + 1)));
    }
  }
  EXPECT_EQ(table_pairs(), from_files);
}

// The CJK compatibility ideographs are the standardized variants of the
// unified ideograph they decompose to: the first compatibility ideograph of
// a unified one (in code point order) is its sequence with U+FE00, the
// second with U+FE01, the third with U+FE02.
TEST_F(VariationSequencesVsUcd, CjkPairsFollowTheCompatibilityDecompositions) {
  std::map<char32_t, std::vector<char32_t>> compatibility_variants;
  for (const auto& fields : read_data_lines(ucd_dir() / "UnicodeData.txt")) {
    const char32_t cp = parse_hex(fields[0]);
    const std::string& decomposition = fields[5];
    const bool in_compatibility_block = (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0x2F800 && cp <= 0x2FA1F);
    if (in_compatibility_block && !decomposition.empty() && decomposition.find(' ') == std::string::npos) {
      compatibility_variants[parse_hex(decomposition)].push_back(cp);
    }
  }
  std::set<Pair> expected;
  for (auto& [unified, variants] : compatibility_variants) {
    std::sort(variants.begin(), variants.end());
    for (std::size_t i = 0; i < variants.size(); ++i) {
      expected.emplace(unified, 0xFE00 + i);
    }
  }

  std::set<Pair> cjk;
  for (const auto& [base, selector] : table_pairs()) {
    if ((base >= 0x3400 && base <= 0x9FFF) || (base >= 0x20000 && base <= 0x2FFFF)) {
      cjk.emplace(base, selector);
    }
  }
  EXPECT_EQ(expected.size(), 1002u);
  EXPECT_EQ(cjk, expected);
}

// Every ideograph of the current Unicode version lies in the Han blocks, so
// an ideographic selector after any of them is accepted.
TEST_F(VariationSequencesVsUcd, HanBlocksHoldEveryUnifiedIdeograph) {
  const auto unified = test::read_property(ucd_dir() / "PropList.txt", "Unified_Ideograph");
  std::size_t outside = 0;
  for (char32_t cp = 0; cp < test::code_space_size; ++cp) {
    outside += unified[cp] && !is_han_ideograph(cp);
  }
  EXPECT_EQ(outside, 0u);
}

}  // namespace
}  // namespace orlenta
