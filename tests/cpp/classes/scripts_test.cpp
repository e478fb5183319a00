// The generated Script and Script_Extensions table against the Unicode data
// it was made from, every code point of it.
#include "classes/scripts.h"

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "normkit/normalize.h"
#include "ucd_data.h"

namespace orlenta {
namespace {

using test::code_space_size;
using test::read_data_lines;
using test::read_property;
using test::ucd_dir;

class ScriptTable : public test::UcdTest {};

std::vector<std::pair<char32_t, char32_t>> ranges_of(const std::vector<std::vector<std::string>>& lines,
                                                     std::vector<std::string>& values) {
  std::vector<std::pair<char32_t, char32_t>> ranges;
  for (const auto& fields : lines) {
    const auto dots = fields[0].find("..");
    const auto first = static_cast<char32_t>(std::stoul(fields[0].substr(0, dots), nullptr, 16));
    const auto last =
        dots == std::string::npos ? first : static_cast<char32_t>(std::stoul(fields[0].substr(dots + 2), nullptr, 16));
    ranges.emplace_back(first, last);
    values.push_back(fields[1]);
  }
  return ranges;
}

std::map<std::string, Script> scripts_by_code() {
  std::map<std::string, Script> scripts;
  for (std::size_t i = 0; i < script_count; ++i) {
    scripts.emplace(std::string(script_code(static_cast<Script>(i))), static_cast<Script>(i));
  }
  return scripts;
}

std::string hex(char32_t cp) {
  std::ostringstream out;
  out << "U+" << std::uppercase << std::hex << static_cast<std::uint32_t>(cp);
  return out.str();
}

TEST_F(ScriptTable, NamesEveryScriptOnceByItsCode) {
  const auto scripts = scripts_by_code();
  EXPECT_EQ(scripts.size(), script_count);
  EXPECT_EQ(script_count, 175u);  // 174 scripts in the data, and Unknown
  EXPECT_EQ(script_code(Script::Latn), "Latn");
  EXPECT_EQ(script_code(Script::Zzzz), "Zzzz");
  EXPECT_EQ(script_table_version(), normkit::unicode_version);
}

TEST_F(ScriptTable, GivesEveryCodePointItsScript) {
  std::map<std::string, std::string> codes;  // long name -> code
  for (const auto& fields : read_data_lines(ucd_dir() / "PropertyValueAliases.txt")) {
    if (fields[0] == "sc") codes[fields[2]] = fields[1];
  }
  std::vector<std::string> expected(code_space_size, "Zzzz");
  std::vector<std::string> names;
  const auto ranges = ranges_of(read_data_lines(ucd_dir() / "Scripts.txt"), names);
  for (std::size_t i = 0; i < ranges.size(); ++i) {
    ASSERT_TRUE(codes.contains(names[i])) << names[i];
    for (char32_t cp = ranges[i].first; cp <= ranges[i].second; ++cp) expected[cp] = codes[names[i]];
  }
  int wrong = 0;
  for (char32_t cp = 0; cp < code_space_size && wrong < 10; ++cp) {
    if (script_code(script_of(cp)) != expected[cp]) {
      ADD_FAILURE() << hex(cp) << " is " << script_code(script_of(cp)) << ", not " << expected[cp];
      ++wrong;
    }
  }
  EXPECT_EQ(script_of(0x110000), Script::Zzzz);
}

TEST_F(ScriptTable, GivesEveryCodePointItsExtensions) {
  const auto scripts = scripts_by_code();
  std::vector<ScriptSet> expected(code_space_size);
  for (char32_t cp = 0; cp < code_space_size; ++cp) expected[cp] = ScriptSet(script_of(cp));
  std::vector<std::string> lists;
  const auto ranges = ranges_of(read_data_lines(ucd_dir() / "ScriptExtensions.txt"), lists);
  for (std::size_t i = 0; i < ranges.size(); ++i) {
    ScriptSet set;
    std::istringstream codes(lists[i]);
    for (std::string code; codes >> code;) {
      ASSERT_TRUE(scripts.contains(code)) << code;
      set.add(scripts.at(code));
    }
    for (char32_t cp = ranges[i].first; cp <= ranges[i].second; ++cp) expected[cp] = set;
  }
  int wrong = 0;
  for (char32_t cp = 0; cp < code_space_size && wrong < 10; ++cp) {
    if (script_extensions_of(cp) != expected[cp]) {
      ADD_FAILURE() << hex(cp) << " has other extensions";
      ++wrong;
    }
  }
  // Spot checks that the set and the parse agree on: U+0640 ARABIC TATWEEL
  // serves Arabic, Syriac and others; U+3001 IDEOGRAPHIC COMMA serves Han.
  EXPECT_TRUE(script_extensions_of(0x0640).contains(Script::Syrc));
  EXPECT_TRUE(script_extensions_of(0x3001).contains(Script::Hani));
  EXPECT_FALSE(script_extensions_of(0x3001).contains(Script::Zyyy));
}

TEST_F(ScriptTable, MarksTheWordCharacters) {
  test::CodePointSet expected(code_space_size);
  for (const char* category : {"Lu", "Ll", "Lt", "Lm", "Lo", "Mn", "Mc", "Me", "Nd", "Nl", "Pc"}) {
    const auto members = read_property(ucd_dir() / "extracted" / "DerivedGeneralCategory.txt", category);
    for (char32_t cp = 0; cp < code_space_size; ++cp) expected[cp] = expected[cp] || members[cp];
  }
  int wrong = 0;
  for (char32_t cp = 0; cp < code_space_size && wrong < 10; ++cp) {
    if (script_info(cp).word_character() != expected[cp]) {
      ADD_FAILURE() << hex(cp) << (expected[cp] ? " missing" : " extra");
      ++wrong;
    }
  }
}

}  // namespace
}  // namespace orlenta
