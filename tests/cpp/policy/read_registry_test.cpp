#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "policy/policy.h"

namespace orlenta {
namespace {

constexpr std::string_view SIGNALS =
    R"({"entropy_prefix_chars":1,"entropy_prefix_threshold":2.5,"entropy_prefix_min_chars":3,)"
    R"("base64_min_chars":4,"combining_ratio_threshold":0.5,"combining_min_chars":6})";

// Every required field of a preset and none of the defaulted ones.
constexpr std::string_view REQUIRED_ONLY_PRESET =
    R"({"normalization":"NFC","remove_bidi":true,"remove_junk_invisibles":true,"remove_other_controls":true,)"
    R"("remove_default_ignorables":true,"tidy_whitespace":true,"flag_default_ignorables":true,)"
    R"("flag_base64ish":true,"flag_combining_abuse":true})";

std::string registry_document(std::string_view signals, std::string_view aliases, std::string_view presets) {
  return R"({"signals":)" + std::string(signals) + R"(,"aliases":)" + std::string(aliases) + R"(,"presets":)" +
         std::string(presets) + "}";
}

std::string with_preset(std::string_view preset) {
  return registry_document(SIGNALS, "{}", R"({"p":)" + std::string(preset) + "}");
}

std::string with_signals(std::string_view signals) {
  return registry_document(signals, "{}", R"({"p":)" + std::string(REQUIRED_ONLY_PRESET) + "}");
}

PolicyRegistry read_ok(std::string_view document) {
  Outcome<PolicyRegistry> read = read_registry(document);
  if (const Error* error = std::get_if<Error>(&read)) {
    ADD_FAILURE() << error->message << "\nin: " << document;
    return {};
  }
  return std::get<PolicyRegistry>(std::move(read));
}

TEST(ReadRegistry, RejectsNamingTheRuleBroken) {
  struct Case {
    std::string document;
    std::string message;  // up to the position that follows it
  };
  const std::vector<Case> cases = {
      {with_preset(R"({"remove_tag_chars":true,"normalization":"NFC","remove_tag_chars":true})"),
       "duplicate field `remove_tag_chars`"},
      {with_signals(R"({"base64_min_chars":1,"base64_min_chars":1})"), "duplicate field `base64_min_chars`"},
      {R"({"aliases":{},"aliases":{}})", "duplicate field `aliases`"},
      // The first missing field in declaration order is named.
      {R"({"presets":{}})", "missing field `signals`"},
      {R"({"signals":)" + std::string(SIGNALS) + R"(,"presets":{}})", "missing field `aliases`"},
      {with_preset(R"({"flag_combining_abuse":true,"remove_bidi":true})"), "missing field `normalization`"},
      {with_preset(R"({"normalization":"NFC","tidy_whitespace":true})"), "missing field `remove_bidi`"},
      {with_preset(R"({"Normalization":"NFC"})"), "missing field `normalization`"},
      {with_signals(R"({"entropy_prefix_chars":1,"entropy_prefix_threshold":2,"entropy_prefix_min_chars":3,)"
                    R"("base64_min_chars":4,"combining_ratio_threshold":5})"),
       "missing field `combining_min_chars`"},
      // Arrays may only leave off trailing fields that have defaults.
      {with_preset(R"(["NFC",true])"), "invalid length 2, expected struct PolicySpec with 13 elements"},
      {with_preset(R"(["NFC",true,false,true,true,false,true,true,true,true,true,true,true,true])"),
       "invalid length 14, expected struct PolicySpec with 13 elements"},
      {with_signals("[1,2,3,4,5]"), "invalid length 5, expected struct SignalSpec with 6 elements"},
      {"[" + std::string(SIGNALS) + ",{}]", "invalid length 2, expected struct PolicyRegistry with 3 elements"},
      {"null", "invalid type: null, expected struct PolicyRegistry"},
      {with_signals("true"), "invalid type: boolean `true`, expected struct SignalSpec"},
      {with_preset("5"), "invalid type: integer `5`, expected struct PolicySpec"},
      {registry_document(SIGNALS, R"("balanced")", "{}"), R"(invalid type: string "balanced", expected a map)"},
      {registry_document(SIGNALS, "{}", "[]"), "invalid type: array, expected a map"},
      {registry_document(SIGNALS, R"({"a":5})", "{}"), "invalid type: integer `5`, expected a string"},
      {with_preset(R"({"normalization":"NFC","remove_bidi":"true"})"),
       R"(invalid type: string "true", expected a boolean)"},
      {with_signals(R"({"entropy_prefix_chars":1,"entropy_prefix_threshold":"5"})"),
       R"(invalid type: string "5", expected a number)"},
      // Counts are integers from 0 to 2^64 - 1 without fraction or exponent.
      {with_signals(R"({"entropy_prefix_chars":-1})"),
       "invalid value: integer `-1`, expected an integer from 0 to 2^64-1"},
      {with_signals(R"({"entropy_prefix_chars":18446744073709551616})"),
       "invalid value: integer `18446744073709551616`, expected an integer from 0 to 2^64-1"},
      {with_signals(R"({"entropy_prefix_chars":2e3})"),
       "invalid type: floating-point number `2e3`, expected an integer from 0 to 2^64-1"},
      // Nesting is bounded, even inside a value that is skipped.
      {with_preset(R"({"deep":)" + std::string(200, '[') + std::string(200, ']') + "}"),
       "nesting deeper than 128 levels"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.document);
    Outcome<PolicyRegistry> read = read_registry(c.document);
    ASSERT_TRUE(std::holds_alternative<Error>(read));
    EXPECT_TRUE(std::get<Error>(read).message.starts_with(c.message + " at line ")) << std::get<Error>(read).message;
  }
}

TEST(ReadRegistry, RejectsMalformedText) {
  const std::string valid = with_preset(REQUIRED_ONLY_PRESET);
  for (const std::string& document : {std::string(), valid + " x", valid + "{}", valid.substr(0, valid.size() - 1),
                                      with_signals(R"({"entropy_prefix_threshold":1e400})")}) {
    Outcome<PolicyRegistry> read = read_registry(document);
    ASSERT_TRUE(std::holds_alternative<Error>(read)) << document;
    EXPECT_NE(std::get<Error>(read).message.find(" at line 1"), std::string::npos) << std::get<Error>(read).message;
  }
}

TEST(ReadRegistry, PositionIsLineAndColumnOfTheOffendingValue) {
  const std::string document = "{\n  \"signals\": {\n    \"entropy_prefix_chars\": 1,\n"
                               "    \"entropy_prefix_chars\": 1\n  }\n}";
  EXPECT_EQ(std::get<Error>(read_registry(document)).message,
            "duplicate field `entropy_prefix_chars` at line 4 column 26");
  EXPECT_EQ(std::get<Error>(read_registry("{\n\"signals\": 7\n}")).message,
            "invalid type: integer `7`, expected struct SignalSpec at line 2 column 12");
}

TEST(ReadRegistry, MissingOptionalPresetFieldsTakeTheirDefaults) {
  const PolicySpec defaulted = read_ok(with_preset(REQUIRED_ONLY_PRESET)).presets.at("p");
  EXPECT_FALSE(defaulted.remove_bidi_marks);
  EXPECT_TRUE(defaulted.flag_bidi_marks);
  EXPECT_TRUE(defaulted.remove_tag_chars);
  EXPECT_FALSE(defaulted.cap_variation_selectors);
}

TEST(ReadRegistry, ArraysHoldTheFieldsInDeclarationOrder) {
  const PolicyRegistry registry = read_ok(
      R"([[10,0.25,30,40,0.75,60],{"a":"p"},)"
      R"({"p":["NFKC",true,false,true,false,true,false,true,false,true,false,true,false]}])");
  EXPECT_EQ(registry.signals, (SignalSpec{10, 0.25, 30, 40, 0.75, 60}));
  EXPECT_EQ(registry.aliases.at("a"), "p");
  EXPECT_EQ(registry.presets.at("p"),
            (PolicySpec{"NFKC", true, false, true, false, true, false, true, false, true, false, true, false}));
}

TEST(ReadRegistry, UnknownKeysAreSkippedWithTheirWholeValue) {
  std::string preset(REQUIRED_ONLY_PRESET);
  preset.insert(1, R"("extra":{"remove_bidi":"x","a":[1,{"b":null}],"a":2},"extra":[true],)");
  const std::string signals = R"({"hex_min_bytes":"not a count","deep":)" + std::string(100, '[') +
                              std::string(100, ']') + "," + std::string(SIGNALS.substr(1));
  std::string document = registry_document(signals, "{}", R"({"p":)" + preset + "}");
  document.insert(1, R"("version":[1,2,{"x":null}],)");
  const PolicyRegistry registry = read_ok(document);
  EXPECT_TRUE(registry.presets.at("p").remove_bidi);
  EXPECT_EQ(registry.signals, (SignalSpec{1, 2.5, 3, 4, 0.5, 6}));
}

TEST(ReadRegistry, RepeatedMapKeysKeepTheLaterEntry) {
  std::string later(REQUIRED_ONLY_PRESET);
  later.replace(later.find("NFC"), 3, "nfc");  // any text is read; get_policy judges it
  const PolicyRegistry registry =
      read_ok(registry_document(SIGNALS, R"({"x":"first","x":"second"})",
                                R"({"p":)" + std::string(REQUIRED_ONLY_PRESET) + R"(,"p":)" + later + "}"));
  EXPECT_EQ(registry.aliases, (StringMap<std::string>{{"x", "second"}}));
  EXPECT_EQ(registry.presets.size(), 1u);
  EXPECT_EQ(registry.presets.at("p").normalization, "nfc");
}

TEST(ReadRegistry, NumbersAcrossTheirRanges) {
  struct Case {
    std::string count_literal;
    std::uint64_t count;
    std::string threshold_literal;
    double threshold;
  };
  for (const Case& c : std::vector<Case>{
           {"0", 0, "5", 5.0},
           {"-0", 0, "-3", -3.0},
           {"18446744073709551615", 18446744073709551615u, "18446744073709551616", 18446744073709551616.0},
       }) {
    const std::string other_fields(SIGNALS.substr(SIGNALS.find("\"entropy_prefix_min")));
    const std::string signals = R"({"entropy_prefix_chars":)" + c.count_literal + R"(,"entropy_prefix_threshold":)" +
                                c.threshold_literal + "," + other_fields;
    // Whitespace may follow the document.
    const SignalSpec read = read_ok(with_signals(signals) + " \n\t\r\n").signals;
    EXPECT_EQ(read.entropy_prefix_chars, c.count) << c.count_literal;
    EXPECT_EQ(read.entropy_prefix_threshold, c.threshold) << c.threshold_literal;
  }
}

}  // namespace
}  // namespace orlenta
