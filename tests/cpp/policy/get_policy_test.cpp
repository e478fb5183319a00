#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "policy/policy.h"

namespace orlenta {
namespace {

using namespace std::string_view_literals;

struct Lookup {
  std::string_view name;
  std::optional<std::string_view> resolved_name;
  NormalizationForm form = NormalizationForm::nfc;
};

void expect_lookups(const PolicyRegistry& registry, const std::vector<Lookup>& lookups) {
  for (const Lookup& lookup : lookups) {
    SCOPED_TRACE(std::string(lookup.name));
    const std::optional<ResolvedPolicy> resolved = resolve_policy(registry, lookup.name);
    ASSERT_EQ(resolved.has_value(), lookup.resolved_name.has_value());
    // The process-wide table, worked out once per name, agrees.
    if (&registry == &orlenta::registry()) {
      EXPECT_EQ(get_policy(lookup.name), resolved);
    }
    if (!resolved) continue;
    EXPECT_EQ(resolved->name, *lookup.resolved_name);
    EXPECT_EQ(resolved->normalization, lookup.form);
  }
}

TEST(GetPolicy, BuiltinNamesMatchByteForByte) {
  expect_lookups(registry(), {
                                 {"preserve", "preserve"},
                                 {"balanced_chat", "balanced_chat"},
                                 {"strict_exec", "strict_exec", NormalizationForm::nfkc},
                                 {"code_mode", "code_mode"},
                                 {"balanced", "balanced_chat"},
                                 {"strict", "strict_exec", NormalizationForm::nfkc},
                                 {"code", "code_mode"},
                                 {"Balanced", std::nullopt},
                                 {"BALANCED_CHAT", std::nullopt},
                                 {" balanced", std::nullopt},
                                 {"strict\n", std::nullopt},
                                 {"", std::nullopt},
                                 {"balanced_chat\0"sv, std::nullopt},
                             });
  EXPECT_EQ(get_policy("strict"), resolve_policy(registry(), "strict_exec"));
}

TEST(ResolvePolicy, OneAliasStepThenAPresetWithAnExactForm) {
  const std::string preset_tail = R"(,true,false,true,true,false,true,true,true,true,true,true,true])";
  std::string presets;
  const std::vector<std::pair<std::string, std::string>> forms = {
      {"p", "NFC"},     {"second", "NFKC"},    {"dual", "NFC"},  {"upper", "NFKC"},
      {"lower", "nfc"}, {"decomposed", "NFD"}, {"empty", ""},    {"padded", "NFC "}};
  for (const auto& [name, form] : forms) {
    presets += (presets.empty() ? "\"" : ",\"") + name + R"(":[")" + form + '"' + preset_tail;
  }
  const Outcome<PolicyRegistry> read = read_registry(
      R"({"signals":[1,2,3,4,5,6],"aliases":{"first":"second","second":"p","p":"lower","dual":"upper"},)"
      R"("presets":{)" + presets + "}}");
  ASSERT_TRUE(std::holds_alternative<PolicyRegistry>(read)) << std::get<Error>(read).message;
  expect_lookups(std::get<PolicyRegistry>(read), {
                                                     // Not followed on to the alias "second" names.
                                                     {"first", "second", NormalizationForm::nfkc},
                                                     // The alias wins over the preset of that name.
                                                     {"dual", "upper", NormalizationForm::nfkc},
                                                     {"second", "p"},
                                                     {"p", std::nullopt},
                                                     {"lower", std::nullopt},
                                                     {"decomposed", std::nullopt},
                                                     {"empty", std::nullopt},
                                                     {"padded", std::nullopt},
                                                     {"upper", "upper", NormalizationForm::nfkc},
                                                 });
}

// Each preset sets exactly one of the twelve flags, so a flag read into or
// copied to the wrong field shows.
TEST(ResolvePolicy, EachFlagReachesItsOwnField) {
  const std::vector<std::pair<std::string, bool ResolvedPolicy::*>> flags = {
      {"remove_bidi", &ResolvedPolicy::remove_bidi},
      {"remove_bidi_marks", &ResolvedPolicy::remove_bidi_marks},
      {"flag_bidi_marks", &ResolvedPolicy::flag_bidi_marks},
      {"remove_tag_chars", &ResolvedPolicy::remove_tag_chars},
      {"cap_variation_selectors", &ResolvedPolicy::cap_variation_selectors},
      {"remove_junk_invisibles", &ResolvedPolicy::remove_junk_invisibles},
      {"remove_other_controls", &ResolvedPolicy::remove_other_controls},
      {"remove_default_ignorables", &ResolvedPolicy::remove_default_ignorables},
      {"tidy_whitespace", &ResolvedPolicy::tidy_whitespace},
      {"flag_default_ignorables", &ResolvedPolicy::flag_default_ignorables},
      {"flag_base64ish", &ResolvedPolicy::flag_base64ish},
      {"flag_combining_abuse", &ResolvedPolicy::flag_combining_abuse},
  };
  std::string presets;
  for (const auto& set : flags) {
    std::string fields = R"("normalization":"NFKC")";
    for (const auto& flag : flags) fields += ",\"" + flag.first + "\":" + (flag == set ? "true" : "false");
    presets += (presets.empty() ? "\"" : ",\"") + set.first + "\":{" + fields + "}";
  }
  const Outcome<PolicyRegistry> read =
      read_registry(R"({"signals":[1,2,3,4,5,6],"aliases":{},"presets":{)" + presets + "}}");
  ASSERT_TRUE(std::holds_alternative<PolicyRegistry>(read)) << std::get<Error>(read).message;

  for (const auto& [set_name, set_member] : flags) {
    SCOPED_TRACE(set_name);
    const std::optional<ResolvedPolicy> resolved = resolve_policy(std::get<PolicyRegistry>(read), set_name);
    ASSERT_TRUE(resolved.has_value());
    EXPECT_EQ(resolved->name, set_name);
    for (const auto& [name, member] : flags) EXPECT_EQ((*resolved).*member, member == set_member) << name;
  }
}

}  // namespace
}  // namespace orlenta
