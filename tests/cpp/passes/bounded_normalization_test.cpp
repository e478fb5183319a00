#include "passes/bounded_normalization.h"

#include <gtest/gtest.h>

#include <string>

namespace orlenta {
namespace {

std::string repeat(std::string_view piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

constexpr std::string_view fdfa = "\xEF\xB7\xBA";  // U+FDFA, 18 code points under NFKC

TEST(BoundedNormalization, UnchangedTextIsUsedInPlace) {
  struct Case {
    std::string text;
    std::uint64_t chars;
    std::uint64_t limit;
  };
  // ASCII with controls, which both forms keep, is settled without the
  // normalizer; the rest goes through its check.
  const Case cases[] = {{"plain caf\xC3\xA9", 10, 128}, {repeat("ascii\t\x01\x7F text ", 20), 280, 2240}};
  for (const NormalizationForm form : {NormalizationForm::nfc, NormalizationForm::nfkc}) {
    for (const Case& c : cases) {
      const BoundedNormalization result = normalize_text_with_limit(c.text, form, std::nullopt);
      EXPECT_FALSE(result.text.has_value());
      EXPECT_EQ(result.input_chars, c.chars);
      EXPECT_EQ(result.output_chars, c.chars);
      EXPECT_EQ(result.limit_chars, c.limit);
      EXPECT_FALSE(result.truncated);
    }
  }
}

TEST(BoundedNormalization, EmptyTextGetsTheFloor) {
  const BoundedNormalization result = normalize_text_with_limit("", NormalizationForm::nfc, std::nullopt);
  EXPECT_FALSE(result.text.has_value());
  EXPECT_EQ(result.input_chars, 0u);
  EXPECT_EQ(result.limit_chars, 128u);
}

TEST(BoundedNormalization, ExpansionIsCutAtEightTimesTheInput) {
  const std::string input = repeat(fdfa, 20);
  const BoundedNormalization result = normalize_text_with_limit(input, NormalizationForm::nfkc, std::nullopt);
  ASSERT_TRUE(result.text.has_value());
  EXPECT_TRUE(result.truncated);
  EXPECT_EQ(result.input_chars, 20u);
  EXPECT_EQ(result.output_chars, 160u);
  EXPECT_EQ(result.limit_chars, 160u);

  const std::string full = normkit::normalize(input, normkit::Form::nfkc);
  std::u32string code_points;
  normkit::ComposeStream stream(*result.text, normkit::Form::nfc);
  for (char32_t cp = 0; stream.next(cp);) code_points.push_back(cp);
  EXPECT_EQ(code_points.size(), 160u);
  EXPECT_EQ(full.compare(0, result.text->size(), *result.text), 0) << "the cut keeps a prefix of the full form";
}

TEST(BoundedNormalization, ExpansionBelowTheFloorIsKept) {
  const BoundedNormalization result = normalize_text_with_limit(fdfa, NormalizationForm::nfkc, std::nullopt);
  ASSERT_TRUE(result.text.has_value());
  EXPECT_FALSE(result.truncated);
  EXPECT_EQ(result.output_chars, 18u);
  EXPECT_EQ(result.limit_chars, 128u);
}

TEST(BoundedNormalization, ExplicitLimitLowersTheBoundOnly) {
  const std::string input = repeat("abc", 100);  // 300 code points, default bound 2400
  struct Case {
    std::uint64_t limit;
    std::uint64_t expected_limit;
    bool truncated;
  };
  for (const Case c : {Case{5000, 2400, false}, Case{300, 300, false}, Case{299, 299, true}, Case{0, 0, true}}) {
    const BoundedNormalization result = normalize_text_with_limit(input, NormalizationForm::nfc, c.limit);
    EXPECT_EQ(result.limit_chars, c.expected_limit) << c.limit;
    EXPECT_EQ(result.truncated, c.truncated) << c.limit;
    EXPECT_EQ(result.text.has_value(), c.truncated) << "an uncut, unchanged text is used in place";
    if (c.truncated) {
      EXPECT_EQ(result.text->size(), c.limit);
    }
  }
}

TEST(BoundedNormalization, CollectorPullsAtMostOneBeyondTheBound) {
  // One million U+FDFA would be 18 million code points; the collector must
  // stop right after the bound rather than normalize everything.
  const std::string input = repeat(fdfa, 1000000);
  normkit::ComposeStream stream(input, normkit::Form::nfkc);
  const BoundedNormalization result = collect_normalized_bounded(input, stream, 1000);
  EXPECT_TRUE(result.truncated);
  EXPECT_EQ(result.output_chars, 1000u);
  char32_t next = 0;
  std::uint64_t remaining = 0;
  while (remaining < 100 && stream.next(next)) ++remaining;
  EXPECT_EQ(remaining, 100u) << "the stream still holds the rest";
}

TEST(BoundedNormalization, ComposesDecomposedInput) {
  const BoundedNormalization result = normalize_text_with_limit("e\xCC\x81", NormalizationForm::nfc, std::nullopt);
  ASSERT_TRUE(result.text.has_value());
  EXPECT_EQ(*result.text, "\xC3\xA9");
  EXPECT_EQ(result.input_chars, 2u);
  EXPECT_EQ(result.output_chars, 1u);
}

}  // namespace
}  // namespace orlenta
