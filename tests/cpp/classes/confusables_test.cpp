// The generated confusable prototypes against confusables.txt, and the
// skeleton built on them.
#include "classes/confusables.h"

#include <map>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "normkit/normalize.h"
#include "ucd_data.h"

namespace orlenta {
namespace {

using test::code_space_size;
using test::read_data_lines;
using test::ucd_dir;

class Confusables : public test::UcdTest {};

std::u32string parse_code_points(const std::string& field) {
  std::u32string cps;
  std::istringstream in(field);
  for (std::string hex; in >> hex;) cps.push_back(static_cast<char32_t>(std::stoul(hex, nullptr, 16)));
  return cps;
}

std::u32string skeleton(std::u32string_view text, std::size_t limit = 1000) {
  std::u32string out;
  EXPECT_TRUE(confusable_skeleton(text, out, limit));
  return out;
}

TEST_F(Confusables, PrototypesAreThoseOfTheDataFile) {
  std::map<char32_t, std::u32string> expected;
  for (const auto& fields : read_data_lines(ucd_dir() / "security" / "confusables.txt")) {
    const std::u32string source = parse_code_points(fields[0]);
    ASSERT_EQ(source.size(), 1u);
    expected[source[0]] = parse_code_points(fields[1]);
  }
  ASSERT_EQ(confusable_prototype_table().size(), expected.size());
  for (char32_t cp = 0; cp < code_space_size; ++cp) {
    const auto found = expected.find(cp);
    const std::u32string wanted = found == expected.end() ? U"" : found->second;
    ASSERT_EQ(std::u32string(confusable_prototype(cp)), wanted) << std::hex << static_cast<unsigned>(cp);
  }
  EXPECT_EQ(confusables_table_version(), normkit::unicode_version);
}

TEST(ConfusableSkeleton, EqualForLookAlikesOnly) {
  struct Case {
    std::u32string a, b;
    bool alike;
  };
  const Case cases[] = {
      {U"paypal", U"p\u0430yp\u0430l", true},   // Cyrillic a
      {U"sayHello", U"say\u041Dello", true},    // Cyrillic EN
      {U"rn", U"m", true},                      // the classic kerning confusion
      {U"l", U"1", true},
      {U"\u00E9", U"e\u0301", true},            // composed or not
      {U"\u212B", U"A\u030A", true},            // ANGSTROM SIGN decomposes canonically
      {U"\u0455cope", U"scope", true},          // Cyrillic dze
      {U"m", U"n", false},
      {U"paypal", U"paypa", false},
      {U"\u0434", U"d", false},                 // Cyrillic de looks like no Latin letter
  };
  for (const Case& c : cases) {
    EXPECT_EQ(skeleton(c.a) == skeleton(c.b), c.alike);
  }
}

TEST(ConfusableSkeleton, StopsAtTheLimit) {
  std::u32string out;
  EXPECT_TRUE(confusable_skeleton(U"m", out, 2));
  EXPECT_EQ(out, U"rn");
  out.clear();
  EXPECT_FALSE(confusable_skeleton(U"m", out, 1));   // grows by mapping
  out.clear();
  EXPECT_FALSE(confusable_skeleton(U"\u00E9", out, 1));  // grows by decomposition
  out.clear();
  EXPECT_FALSE(confusable_skeleton(U"abc", out, 2));  // too long from the start
}

TEST(RecommendedScripts, AreTheModernOnes) {
  const ScriptSet& scripts = recommended_scripts();
  for (const Script script : {Script::Latn, Script::Cyrl, Script::Grek, Script::Arab, Script::Hani, Script::Deva}) {
    EXPECT_TRUE(scripts.contains(script)) << script_code(script);
  }
  for (const Script script : {Script::Zyyy, Script::Zinh, Script::Cher, Script::Goth, Script::Runr}) {
    EXPECT_FALSE(scripts.contains(script)) << script_code(script);
  }
}

}  // namespace
}  // namespace orlenta
