#include "pipeline/pipeline.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <string_view>

#include "normkit/normalize.h"

namespace orlenta {
namespace {

SanitizeResult sanitize_ok(std::string_view text, std::string_view policy = "balanced_chat",
                           std::optional<NormalizationForm> normalization = std::nullopt,
                           std::optional<bool> tidy = std::nullopt) {
  Outcome<SanitizeResult> outcome = sanitize_inner_with_overrides(text, policy, normalization, tidy, false);
  if (const Error* error = std::get_if<Error>(&outcome)) ADD_FAILURE() << error->message;
  return std::get<SanitizeResult>(std::move(outcome));
}

template <class T>
T stat(const SanitizeReport& report, const std::string& key) {
  const auto it = report.stats.find(key);
  if (it == report.stats.end()) {
    ADD_FAILURE() << "missing stat " << key;
    return T{};
  }
  return std::get<T>(it->second);
}

TEST(Pipeline, UnknownPolicyNamesTheRequestAsPassed) {
  for (const std::string_view name : {"Balanced", " strict", "", "nope"}) {
    Outcome<SanitizeResult> outcome = sanitize_inner_with_overrides("abc", name, std::nullopt, std::nullopt, false);
    ASSERT_TRUE(std::holds_alternative<Error>(outcome)) << name;
    EXPECT_EQ(std::get<Error>(outcome).message, "unknown policy: " + std::string(name));
  }
}

TEST(Pipeline, ReportNamesThePresetAndEffectiveForm) {
  struct Case {
    std::string_view requested;
    std::optional<NormalizationForm> override_form;
    std::string_view policy;
    std::string_view form;
  };
  for (const Case c : {Case{"strict", std::nullopt, "strict_exec", "NFKC"},
                       Case{"balanced", NormalizationForm::nfkc, "balanced_chat", "NFKC"},
                       Case{"code", std::nullopt, "code_mode", "NFC"},
                       Case{"strict_exec", NormalizationForm::nfc, "strict_exec", "NFC"}}) {
    const SanitizeResult result = sanitize_ok("x", c.requested, c.override_form);
    EXPECT_EQ(result.report.policy, c.policy);
    EXPECT_EQ(result.report.normalization, c.form);
  }
}

TEST(Pipeline, FastPathNeedsUnchangedPlainAsciiWithoutTidying) {
  struct Case {
    std::string_view text;
    std::optional<bool> tidy;
    bool fast_path;
  };
  for (const Case c : {Case{"", false, true}, Case{"", true, false}, Case{"letters, a\ttab\nand a line", false, true},
                       Case{"carriage\rreturn", false, false}, Case{"caf\xC3\xA9", false, false},
                       Case{"plain", true, false}, Case{"bell\x07", false, false}}) {
    const SanitizeResult result = sanitize_ok(c.text, "preserve", std::nullopt, c.tidy);
    EXPECT_EQ(stat<bool>(result.report, "ascii_fast_path"), c.fast_path) << c.text;
  }
}

TEST(Pipeline, AmplifiedNormalizationIsCutAndCountedOnce) {
  std::string input;
  for (int i = 0; i < 20; ++i) input += "\xEF\xB7\xBA";  // U+FDFA
  const SanitizeResult result = sanitize_ok(input, "balanced_chat", NormalizationForm::nfkc);
  const SanitizeReport& report = result.report;
  EXPECT_TRUE(report.changed);
  EXPECT_EQ(report.removed_counts.at("normalization_amplified"), 1u);
  EXPECT_TRUE(stat<bool>(report, "normalization_truncated"));
  EXPECT_EQ(stat<std::uint64_t>(report, "normalization_input_chars"), 20u);
  EXPECT_EQ(stat<std::uint64_t>(report, "normalization_output_chars"), 160u);
  EXPECT_EQ(stat<std::uint64_t>(report, "normalization_output_limit_chars"), 160u);

  const SanitizeResult under_nfc = sanitize_ok(input, "balanced_chat", NormalizationForm::nfc);
  EXPECT_EQ(under_nfc.text, input);
  EXPECT_TRUE(under_nfc.report.removed_counts.empty());
}

TEST(Pipeline, StatsDescribeTheFirstNormalization) {
  const SanitizeResult result = sanitize_ok("e\xCC\x81", "preserve");
  EXPECT_EQ(result.text, "\xC3\xA9");
  EXPECT_TRUE(result.report.changed);
  EXPECT_TRUE(stat<bool>(result.report, "normalized_changed"));
  EXPECT_FALSE(stat<bool>(result.report, "post_removal_normalized_changed"));
  EXPECT_EQ(stat<std::string_view>(result.report, "unicode_normalization_version"), "17.0.0");
  EXPECT_EQ(stat<std::uint64_t>(result.report, "normalization_input_chars"), 2u);
  EXPECT_EQ(stat<std::uint64_t>(result.report, "normalization_output_chars"), 1u);
}

// The driver appends its statistics without comparing names, so it has to
// write them in name order.
TEST(Pipeline, StatsAreWrittenInNameOrder) {
  for (const std::string_view policy : {"preserve", "balanced_chat", "strict_exec", "code_mode"}) {
    for (const std::string_view text : {"", "abc", "x\xE2\x80\x8B\xCC\x81 y\n", "QUJD REVG R0hJ\nSktM TU5P"}) {
      const SanitizeResult result = sanitize_ok(text, policy);
      const StatsMap& stats = result.report.stats;
      EXPECT_EQ(stats.size(), policy == "preserve" ? 22u : 24u) << policy;
      for (auto entry = stats.begin(); entry != stats.end() && std::next(entry) != stats.end(); ++entry) {
        EXPECT_LT(entry->first, std::next(entry)->first) << policy << " " << text;
      }
    }
  }
}

// Text that only the whitespace tidy changed is not normalized again: the
// tidy drops, or turns into U+0020, whitespace that composes with nothing.
// Whitespace next to combining marks, Hangul jamo and line feeds stays
// normalized after it.
TEST(Pipeline, TidiedTextStaysNormalized) {
  const std::string_view texts[] = {
      "a\n  \xCC\x81" "b",           // indentation before a mark
      "\xE3\x80\x80\xCC\x81x",       // leading ideographic space before a mark
      "x \xCC\x81 \n",                // space, mark, trailing blanks
      "e\xC2\xA0\xC2\xA0\xCC\x81",   // no-break spaces before a mark
      "\xE1\x84\x80  \xE1\x85\xA1",  // Hangul L, two spaces, V
      "\xE1\x84\x80\n \xE1\x85\xA1",  // Hangul L, line feed, space, V
      "a\t\xCC\xA3\xCC\x81\n\n",      // tab before two marks in order
  };
  for (const NormalizationForm form : {NormalizationForm::nfc, NormalizationForm::nfkc}) {
    for (const std::string_view text : texts) {
      const SanitizeResult result = sanitize_ok(text, "balanced_chat", form);
      const normkit::Form nk_form = form == NormalizationForm::nfc ? normkit::Form::nfc : normkit::Form::nfkc;
      EXPECT_TRUE(normkit::is_normalized(result.text, nk_form)) << text;
      EXPECT_FALSE(stat<bool>(result.report, "post_removal_normalized_changed")) << text;
      EXPECT_TRUE(result.report.removed_counts.contains("whitespace_tidy")) << text;
    }
  }
}

}  // namespace
}  // namespace orlenta
