#include "detect/mixed_script_words.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "classes/confusables.h"
#include "classes/scripts.h"
#include "normkit/utf8.h"

namespace orlenta::detect {
namespace {

std::vector<Finding> findings_of(std::string_view text) {
  std::vector<Finding> found;
  find_mixed_script_words(text, found);
  return found;
}

std::string evidence(const Finding& finding, std::string_view key) {
  for (const EvidenceField& field : finding.evidence) {
    if (field.key == key) return std::get<std::string>(field.value);
  }
  return "";
}

struct Case {
  const char* text;
  const char* word;  // the one finding's text, or nullptr for none
  FindingKind kind;
  const char* scripts;
  const char* looks_like;
};

constexpr FindingKind confusable = FindingKind::confusable;
constexpr FindingKind mixed = FindingKind::mixed_script;

const Case cases[] = {
    {"def say\u041Dello():", "say\u041Dello", confusable, "Latn+Cyrl", "sayHello"},
    {"con.create_function(\"\u0430lice\", 0)", "\u0430lice", confusable, "Latn+Cyrl", "alice"},
    {"fn say_\u04BBello() {", "say_\u04BBello", confusable, "Latn+Cyrl", "say_hello"},
    {"p\u0430yp\u0430l.com", "p\u0430yp\u0430l", confusable, "Latn+Cyrl", "paypal"},
    {"\u0440\u0430ypal", "\u0440\u0430ypal", confusable, "Latn+Cyrl", "paypal"},
    {"H\u03BEl\u03BBo world", "H\u03BEl\u03BBo", mixed, "Latn+Grek", nullptr},
    {"\u0639\u0631\u0628\u0646\u092E\u0938", "\u0639\u0631\u0628\u0646\u092E\u0938", mixed, "Arab+Deva", nullptr},
    {"if (\u0430\u0440\u0435) {", "\u0430\u0440\u0435", confusable, "Cyrl", "ape"},
    {"x = \u0441\u043E\u0440\u0435.y", "\u0441\u043E\u0440\u0435", confusable, "Cyrl", "cope"},
    // Ordinary words of one script, or of the combinations writing uses.
    {"\u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645 \u0646\u0645\u0633\u062A\u0647", nullptr, mixed, nullptr, nullptr},
    {"\u0928\u092E\u0938\u094D\u0924\u0947 \u0926\u0941\u0928\u093F\u092F\u093E", nullptr, mixed, nullptr, nullptr},
    {"\u65E5\u672C\u8A9E\u306E\u30C6\u30AD\u30B9\u30C8\u30FC", nullptr, mixed, nullptr, nullptr},
    {"\uD55C\uAD6D\uC5B4\u6F22\u5B57 Latin\u6F22\u5B57\u304B\u306A", nullptr, mixed, nullptr, nullptr},
    {"abc\u0639\u0631\u0628\u064A", nullptr, mixed, nullptr, nullptr},  // Latin with one recommended script
    {"\u0440\u030C\u0430\u043C\u0434\u0438", nullptr, mixed, nullptr, nullptr},  // a caron on a Cyrillic letter
    {"10 k\u03A9, 5 \u03BCg", nullptr, mixed, nullptr, nullptr},                       // units
    {"\u0412\u0441\u0435 \u043B\u044E\u0434\u0438 \u0440\u043E\u0436\u0434\u0430\u044E\u0442\u0441\u044F", nullptr, mixed,
     nullptr, nullptr},
    // Escapes and format directives in string literals are no part of a word.
    {"msgstr \"\\n\u0414\u043B\u044F \\x12\u03BC\u039C \\u00a0\u0434\u0430\u0446 %s\u0444\u0430\u0439\u043B\"", nullptr,
     mixed, nullptr, nullptr},
    // A word list or a translation beside English is no code.
    {"\u0435\u0433\u043E            | him\n    '\u0441\u0435\u0431\u0435',\n", nullptr, mixed, nullptr, nullptr},
    {"print(x)  # \u0430\u0440\u0435 \u0434\u0430", nullptr, mixed, nullptr, nullptr},
};

TEST(MixedScriptWords, FindWhatEachTextHolds) {
  for (const Case& c : cases) {
    const std::string_view text(c.text);
    const std::vector<Finding> found = findings_of(text);
    if (c.word == nullptr) {
      EXPECT_TRUE(found.empty()) << c.text << ": " << text.substr(found[0].start, found[0].end - found[0].start);
      continue;
    }
    ASSERT_EQ(found.size(), 1u) << c.text;
    const std::string_view word(c.word);
    EXPECT_EQ(found[0].start, text.find(word)) << c.text;
    EXPECT_EQ(found[0].end, text.find(word) + word.size()) << c.text;
    EXPECT_EQ(found[0].kind, c.kind) << c.text;
    EXPECT_EQ(evidence(found[0], "scripts"), c.scripts) << c.text;
    EXPECT_EQ(evidence(found[0], "looks_like"), c.looks_like == nullptr ? "" : c.looks_like) << c.text;
  }
}

// The reference: the resolved script set of UTS #39 over Script_Extensions
// with the Japanese, Korean and Han-with-Bopomofo augmentations, by names,
// as the standard states it.
std::set<std::string> augmented(char32_t cp) {
  std::set<std::string> names;
  const ScriptSet scripts = script_extensions_of(cp);
  for (std::size_t i = 0; i < script_count; ++i) {
    if (scripts.contains(static_cast<Script>(i))) names.emplace(script_code(static_cast<Script>(i)));
  }
  if (names.contains("Hani")) names.insert({"Hanb", "Jpan", "Kore"});
  if (names.contains("Hira") || names.contains("Kana")) names.insert("Jpan");
  if (names.contains("Hang")) names.insert("Kore");
  if (names.contains("Bopo")) names.insert("Hanb");
  return names;
}

bool belongs_to_every_script(char32_t cp) {
  const Script script = script_of(cp);
  return script == Script::Zinh || script_extensions_of(cp) == ScriptSet(Script::Zyyy);
}

// nullopt-like: `any` false when no letter narrows the set.
std::set<std::string> resolve(const std::u32string& word, bool skip_latin, bool& any) {
  std::set<std::string> resolved;
  any = false;
  for (const char32_t cp : word) {
    if (belongs_to_every_script(cp) || (skip_latin && script_extensions_of(cp).contains(Script::Latn))) continue;
    const std::set<std::string> names = augmented(cp);
    if (!any) {
      resolved = names;
      any = true;
      continue;
    }
    std::set<std::string> both;
    for (const std::string& name : names) {
      if (resolved.contains(name)) both.insert(name);
    }
    resolved = both;
  }
  return resolved;
}

bool moderately_restrictive(const std::u32string& word) {
  bool any = false;
  const std::set<std::string> rest = resolve(word, true, any);
  for (const std::string& name : rest) {
    if (name == "Jpan" || name == "Kore" || name == "Hanb") return true;
    for (std::size_t i = 0; i < script_count; ++i) {
      const auto script = static_cast<Script>(i);
      if (script_code(script) == name && recommended_scripts().contains(script) && name != "Cyrl" && name != "Grek" &&
          name != "Latn") {
        return true;
      }
    }
  }
  return false;
}

// One word character of every script, and one of every Script_Extensions
// set: every pair of them as a word, against the reference. A word of one
// resolved script has no finding; a word beyond the restriction has one.
TEST(MixedScriptWords, AgreeWithTheReferenceOnEveryPairOfScripts) {
  std::vector<char32_t> samples;
  std::set<std::uint16_t> seen;
  for (char32_t cp = 0x80; cp < 0x110000; ++cp) {
    const ScriptInfo info = script_info(cp);
    if (!info.word_character()) continue;
    const std::uint16_t key = static_cast<std::uint16_t>(static_cast<unsigned>(info.script()) | info.extensions() << 8);
    if (seen.insert(key).second) samples.push_back(cp);
  }
  ASSERT_GT(samples.size(), 250u);
  std::size_t single = 0, beyond = 0;
  for (const char32_t a : samples) {
    for (const char32_t b : samples) {
      const std::u32string word = {a, b};
      std::string text;
      for (const char32_t cp : word) normkit::utf8::append(text, cp);
      const std::vector<Finding> found = findings_of(text);
      bool any = false;
      const bool one_script = !resolve(word, false, any).empty() || !any;
      if (one_script) {
        ++single;
        ASSERT_TRUE(found.empty()) << std::hex << static_cast<unsigned>(a) << " " << static_cast<unsigned>(b);
      } else if (!moderately_restrictive(word)) {
        ++beyond;
        ASSERT_EQ(found.size(), 1u) << std::hex << static_cast<unsigned>(a) << " " << static_cast<unsigned>(b);
      }
    }
  }
  EXPECT_GT(single, 1000u);
  EXPECT_GT(beyond, 10000u);
}

// A hostile text: one word of a million letters alternating two scripts,
// and 200,000 short words; the scan stays linear, and the findings past
// the bound stretch the last one to the end of the text.
TEST(MixedScriptWords, LongWordsAndManyWordsStayLinear) {
  std::string long_word;
  for (int i = 0; i < 500000; ++i) long_word += "a\u0434";
  EXPECT_EQ(findings_of(long_word).size(), 1u);
  std::string many;
  for (int i = 0; i < 200000; ++i) many += "a\u0434 ";
  const std::vector<Finding> found = findings_of(many);
  ASSERT_EQ(found.size(), max_findings);
  EXPECT_EQ(found.back().end, many.size() - 1);
}

}  // namespace
}  // namespace orlenta::detect
