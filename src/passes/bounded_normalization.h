// Normalization under a bound on how far it may expand the text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "normkit/normalize.h"
#include "policy/policy.h"
#include "report/report.h"

namespace orlenta {

struct BoundedNormalization {
  // The normalized text, cut after limit_chars code points; absent when the
  // normalized text equals the input, which the caller then uses in place.
  std::optional<std::string> text;
  std::uint64_t input_chars = 0;
  std::uint64_t output_chars = 0;
  std::uint64_t limit_chars = 0;
  bool truncated = false;
};

// Pulls at most limit + 1 code points from `stream`, the normalization of
// `input`. The bound is max(8 x input code points, 128), lowered to `limit`
// when one is given.
BoundedNormalization collect_normalized_bounded(std::string_view input, normkit::ComposeStream& stream,
                                                std::optional<std::uint64_t> limit);

BoundedNormalization normalize_text_with_limit(std::string_view text, NormalizationForm form,
                                               std::optional<std::uint64_t> limit);

// What the normalization before the removal pass and the one after it did.
struct NormalizationFacts {
  // Of the first normalization.
  std::uint64_t input_chars = 0;
  std::uint64_t output_chars = 0;
  std::uint64_t limit_chars = 0;
  bool changed = false;
  bool post_removal_changed = false;
  // Either normalization stopped at the bound.
  bool truncated = false;
};

// "normalization_input_chars", "normalization_output_chars",
// "normalization_output_limit_chars", "normalization_truncated",
// "normalized_changed" and "post_removal_normalized_changed".
void write_normalization_stats(StatsMap& stats, const NormalizationFacts& facts);

}  // namespace orlenta
