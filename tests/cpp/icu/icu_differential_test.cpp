// normkit against ICU. ICU carries an older Unicode version, but the
// normalization of a code point never changes once it is assigned, so on
// code points ICU already knows both must agree exactly: the normalized text,
// the exact check and the character properties. The quick check has more
// freedom: normkit settles short stretches that the UAX #15 quick check
// leaves at maybe, so it must match ICU's quick check wherever that one is
// certain, and otherwise only be right.

#include <gtest/gtest.h>
#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>
#include <unicode/stringpiece.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/uversion.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "derived_age.h"
#include "normkit/normalize.h"
#include "random_text.h"

namespace {

using icu_differential::AgeRange;
using icu_differential::CodePointPools;
using icu_differential::UnicodeVersion;

constexpr int texts_per_form = 40000;
constexpr int failures_to_report = 8;

struct Environment {
  UnicodeVersion icu_unicode_version;
  std::vector<AgeRange> ages;
  std::optional<CodePointPools> pools;
  std::string skip_reason;
};

Environment load_environment() {
  Environment environment;
  UVersionInfo version;
  u_getUnicodeVersion(version);
  environment.icu_unicode_version = UnicodeVersion{version[0], version[1]};
  const std::filesystem::path derived_age =
      std::filesystem::path(ORLENTA_SHARED_DIR) / "ucd/17.0.0/DerivedAge.txt";
  if (!std::filesystem::exists(derived_age)) {
    environment.skip_reason =
        derived_age.string() + " is absent: it tells which code points ICU's Unicode version knows";
    return environment;
  }
  environment.ages = icu_differential::read_derived_age(derived_age);
  environment.pools = icu_differential::build_pools(environment.ages, environment.icu_unicode_version);
  return environment;
}

const Environment& environment() {
  static const Environment loaded = load_environment();
  return loaded;
}

const icu::Normalizer2& icu_normalizer(const icu::Normalizer2* (*get)(UErrorCode&)) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* normalizer = get(status);
  EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
  return *normalizer;
}

const icu::Normalizer2& icu_normalizer(normkit::Form form) {
  return icu_normalizer(form == normkit::Form::nfc ? icu::Normalizer2::getNFCInstance
                                                   : icu::Normalizer2::getNFKCInstance);
}

std::string icu_normalize(const icu::Normalizer2& normalizer, std::string_view text) {
  std::string out;
  UErrorCode status = U_ZERO_ERROR;
  normalizer.normalize(icu::UnicodeString::fromUTF8(text), status).toUTF8String(out);
  EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
  return out;
}

struct Verdicts {
  std::string normalized;
  bool is_normalized = false;
  normkit::QuickCheck quick_check = normkit::QuickCheck::maybe;
};

bool agree(const Verdicts& ours, const Verdicts& icu) {
  const bool quick_check_fits = icu.quick_check != normkit::QuickCheck::maybe
                                    ? ours.quick_check == icu.quick_check
                                    : ours.quick_check == normkit::QuickCheck::maybe ||
                                          (ours.quick_check == normkit::QuickCheck::yes) == icu.is_normalized;
  return ours.normalized == icu.normalized && ours.is_normalized == icu.is_normalized && quick_check_fits;
}

Verdicts normkit_verdicts(std::string_view text, normkit::Form form) {
  return Verdicts{normkit::normalize(text, form), normkit::is_normalized(text, form),
                  normkit::quick_check(text, form)};
}

normkit::QuickCheck from_icu(UNormalizationCheckResult result) {
  switch (result) {
    case UNORM_YES:
      return normkit::QuickCheck::yes;
    case UNORM_NO:
      return normkit::QuickCheck::no;
    default:
      return normkit::QuickCheck::maybe;
  }
}

Verdicts icu_verdicts(const icu::Normalizer2& normalizer, std::string_view text) {
  Verdicts verdicts;
  UErrorCode status = U_ZERO_ERROR;
  icu::StringByteSink<std::string> sink(&verdicts.normalized);
  normalizer.normalizeUTF8(0, icu::StringPiece(text.data(), static_cast<int32_t>(text.size())), sink, nullptr,
                           status);
  verdicts.is_normalized =
      normalizer.isNormalizedUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())), status);
  verdicts.quick_check = from_icu(normalizer.quickCheck(icu::UnicodeString::fromUTF8(text), status));
  EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
  return verdicts;
}

std::string code_points(std::string_view utf8) {
  const icu::UnicodeString text = icu::UnicodeString::fromUTF8(utf8);
  std::string listed;
  char buffer[16];
  for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
    std::snprintf(buffer, sizeof buffer, "%sU+%04X", listed.empty() ? "" : " ",
                  static_cast<unsigned>(text.char32At(i)));
    listed += buffer;
  }
  return listed;
}

std::string describe(const Verdicts& verdicts) {
  static constexpr const char* quick_names[] = {"yes", "no", "maybe"};
  std::ostringstream out;
  out << "[" << code_points(verdicts.normalized) << "] is_normalized "
      << (verdicts.is_normalized ? "true" : "false") << ", quick check "
      << quick_names[static_cast<int>(verdicts.quick_check)];
  return out.str();
}

class RandomTextsAgainstIcu : public testing::TestWithParam<normkit::Form> {};

TEST_P(RandomTextsAgainstIcu, NormalizationAndChecksAgree) {
  const Environment& loaded = environment();
  if (!loaded.pools) {
    GTEST_SKIP() << loaded.skip_reason;
  }
  const normkit::Form form = GetParam();
  const icu::Normalizer2& reference = icu_normalizer(form);
  const icu::Normalizer2& nfd = icu_normalizer(icu::Normalizer2::getNFDInstance);

  std::mt19937 random(20250917);
  int failures = 0;
  for (int i = 0; i < texts_per_form && failures < failures_to_report; ++i) {
    const std::string text = icu_differential::to_utf8(icu_differential::random_text(*loaded.pools, random));
    // The text as generated; decomposed, so that everything composable must
    // be recomposed; and normalized, where both checks have to say yes.
    for (const std::string& variant : {text, icu_normalize(nfd, text), icu_normalize(reference, text)}) {
      const Verdicts ours = normkit_verdicts(variant, form);
      const Verdicts theirs = icu_verdicts(reference, variant);
      if (!agree(ours, theirs)) {
        ADD_FAILURE() << "input  [" << code_points(variant) << "]\n"
                      << "normkit " << describe(ours) << "\n"
                      << "ICU     " << describe(theirs);
        ++failures;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Forms, RandomTextsAgainstIcu,
                         testing::Values(normkit::Form::nfc, normkit::Form::nfkc),
                         [](const testing::TestParamInfo<normkit::Form>& info) {
                           return info.param == normkit::Form::nfc ? "NFC" : "NFKC";
                         });

TEST(PropertiesAgainstIcu, CombiningClassAndMarkAgreeOnEveryCodePointIcuKnows) {
  const Environment& loaded = environment();
  if (!loaded.pools) {
    GTEST_SKIP() << loaded.skip_reason;
  }
  int failures = 0;
  for (const AgeRange& range : loaded.ages) {
    if (range.age > loaded.icu_unicode_version) {
      continue;
    }
    for (char32_t cp = range.first; cp <= range.last && failures < failures_to_report; ++cp) {
      const auto icu_cp = static_cast<UChar32>(cp);
      const bool icu_is_mark = (U_GET_GC_MASK(icu_cp) & U_GC_M_MASK) != 0;
      const int icu_ccc = u_getCombiningClass(icu_cp);
      if (normkit::combining_class(cp) != icu_ccc || normkit::is_mark(cp) != icu_is_mark) {
        ADD_FAILURE() << "U+" << std::hex << std::uppercase << static_cast<unsigned>(cp) << std::dec
                      << ": normkit ccc " << int{normkit::combining_class(cp)} << " mark "
                      << normkit::is_mark(cp) << ", ICU ccc " << icu_ccc << " mark " << icu_is_mark;
        ++failures;
      }
    }
  }
}

}  // namespace
