// The generated Joining_Type, virama and emoji tables against the Unicode
// data files, parsed here independently, for every code point.
#include <array>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "classes/emoji_properties.h"
#include "classes/indic_syllabic_category.h"
#include "classes/joining_type.h"
#include "normkit/normalize.h"
#include "ucd_data.h"

namespace orlenta {
namespace {

using test::code_space_size;
using test::read_property;
using test::ucd_dir;

TEST(JoinerContextTables, ComeFromTheSameUnicodeVersionAsNormalization) {
  EXPECT_EQ(joining_type_table_version(), normkit::unicode_version);
  EXPECT_EQ(indic_syllabic_category_table_version(), normkit::unicode_version);
  EXPECT_TRUE(std::string(normkit::unicode_version).starts_with(std::string(emoji_properties_table_version()) + "."));
}

using JoinerContextTablesVsUcd = test::UcdTest;

TEST_F(JoinerContextTablesVsUcd, JoiningTypeIsDerivedJoiningTypeEverywhere) {
  const std::pair<const char*, JoiningType> listed[] = {
      {"T", JoiningType::transparent}, {"D", JoiningType::dual},  {"L", JoiningType::left},
      {"R", JoiningType::right},       {"C", JoiningType::join_causing},
  };
  std::array<std::size_t, 6> mismatches{};
  std::vector<JoiningType> expected(code_space_size, JoiningType::non_joining);
  for (const auto& [value, type] : listed) {
    const auto set = read_property(ucd_dir() / "extracted/DerivedJoiningType.txt", value);
    for (char32_t cp = 0; cp < code_space_size; ++cp) {
      if (set[cp]) expected[cp] = type;
    }
  }
  for (char32_t cp = 0; cp < code_space_size; ++cp) {
    mismatches[static_cast<std::size_t>(expected[cp])] += joining_type(cp) != expected[cp];
  }
  EXPECT_EQ(mismatches, (std::array<std::size_t, 6>{})) << "per expected value, non_joining first";
}

TEST_F(JoinerContextTablesVsUcd, JoiningTypeAgreesWithArabicShaping) {
  const std::map<std::string, JoiningType> by_letter = {
      {"U", JoiningType::non_joining}, {"D", JoiningType::dual},         {"L", JoiningType::left},
      {"R", JoiningType::right},       {"C", JoiningType::join_causing}, {"T", JoiningType::transparent},
  };
  const auto rows = test::read_data_lines(ucd_dir() / "ArabicShaping.txt");
  EXPECT_GT(rows.size(), 500u);
  for (const auto& fields : rows) {
    const auto cp = static_cast<char32_t>(std::stoul(fields[0], nullptr, 16));
    EXPECT_EQ(joining_type(cp), by_letter.at(fields[2])) << fields[0];
  }
}

TEST_F(JoinerContextTablesVsUcd, IndicClassesFollowTheCategoryAndTheGeneralCategoryEverywhere) {
  std::vector<IndicSyllabicCategory> expected(code_space_size, IndicSyllabicCategory::other);
  std::vector<bool> letter_or_mark(code_space_size);
  for (const auto& fields : test::read_data_lines(ucd_dir() / "extracted/DerivedGeneralCategory.txt")) {
    const auto [first, last] = test::parse_range(fields[0]);
    for (auto cp = first; cp <= last; ++cp) letter_or_mark[cp] = fields[1][0] == 'L' || fields[1][0] == 'M';
  }
  for (const auto& fields : test::read_data_lines(ucd_dir() / "IndicSyllabicCategory.txt")) {
    const auto [first, last] = test::parse_range(fields[0]);
    for (auto cp = first; cp <= last; ++cp) {
      expected[cp] = fields[1] == "Virama"              ? IndicSyllabicCategory::virama
                     : fields[1] == "Invisible_Stacker" ? IndicSyllabicCategory::invisible_stacker
                     : letter_or_mark[cp]               ? IndicSyllabicCategory::syllable_part
                                                        : IndicSyllabicCategory::other;
    }
  }
  std::array<std::size_t, 4> mismatches{};
  for (char32_t cp = 0; cp < code_space_size; ++cp) {
    mismatches[static_cast<std::size_t>(expected[cp])] += indic_syllabic_category(cp) != expected[cp];
  }
  EXPECT_EQ(mismatches, (std::array<std::size_t, 4>{})) << "per expected class, other first";
  EXPECT_EQ(expected[0x0915], IndicSyllabicCategory::syllable_part);  // DEVANAGARI LETTER KA
  EXPECT_EQ(expected[0x25CC], IndicSyllabicCategory::other);          // DOTTED CIRCLE
}

TEST_F(JoinerContextTablesVsUcd, EmojiPropertiesAreEmojiDataEverywhere) {
  const auto file = ucd_dir() / "emoji/emoji-data.txt";
  const auto pictographic = read_property(file, "Extended_Pictographic");
  const auto modifier = read_property(file, "Emoji_Modifier");
  std::size_t pictographic_mismatches = 0, modifier_mismatches = 0;
  for (char32_t cp = 0; cp < code_space_size; ++cp) {
    pictographic_mismatches += is_extended_pictographic(cp) != pictographic[cp];
    modifier_mismatches += is_emoji_modifier(cp) != modifier[cp];
  }
  EXPECT_EQ(pictographic_mismatches, 0u);
  EXPECT_EQ(modifier_mismatches, 0u);
}

}  // namespace
}  // namespace orlenta
