#include "passes/bounded_normalization.h"

#include <algorithm>
#include <limits>

#include "text/utf8.h"

namespace orlenta {
namespace {

constexpr std::uint64_t expansion_factor = 8;
constexpr std::uint64_t minimum_bound = 128;

std::uint64_t saturating_multiply(std::uint64_t a, std::uint64_t b) {
  std::uint64_t product = 0;
  if (__builtin_mul_overflow(a, b, &product)) return std::numeric_limits<std::uint64_t>::max();
  return product;
}

std::uint64_t bound_for(std::uint64_t input_chars, std::optional<std::uint64_t> limit) {
  const std::uint64_t default_bound = std::max(saturating_multiply(expansion_factor, input_chars), minimum_bound);
  return limit ? std::min(*limit, default_bound) : default_bound;
}

// collect_normalized_bounded for an input whose code points are counted.
BoundedNormalization collect_counted(std::string_view input, std::uint64_t input_chars,
                                     normkit::ComposeStream& stream, std::optional<std::uint64_t> limit) {
  BoundedNormalization result;
  result.input_chars = input_chars;
  result.limit_chars = bound_for(result.input_chars, limit);

  std::string normalized;
  normalized.reserve(std::min<std::uint64_t>(saturating_multiply(4, result.limit_chars), input.size()));
  result.output_chars = stream.pull_utf8(normalized, result.limit_chars);
  char32_t one_more = 0;
  result.truncated = result.output_chars == result.limit_chars && stream.next(one_more);

  if (!result.truncated && normalized == input) return result;
  result.text = std::move(normalized);
  return result;
}

}  // namespace

BoundedNormalization collect_normalized_bounded(std::string_view input, normkit::ComposeStream& stream,
                                                std::optional<std::uint64_t> limit) {
  return collect_counted(input, count_code_points(input), stream, limit);
}

BoundedNormalization normalize_text_with_limit(std::string_view text, NormalizationForm form,
                                               std::optional<std::uint64_t> limit) {
  // ASCII is left as it is by both forms, and its code points are its
  // bytes: a test of the high bits settles it at memory speed.
  if (!has_non_ascii(text)) {
    const std::uint64_t limit_chars = bound_for(text.size(), limit);
    if (text.size() <= limit_chars) return BoundedNormalization{std::nullopt, text.size(), text.size(), limit_chars, false};
  }
  // Most texts arrive normalized: the quick check settles that without
  // building a copy, and an unchanged text can never exceed its bound unless
  // an explicit limit is below its own length.
  const std::uint64_t input_chars = count_code_points(text);
  const std::uint64_t limit_chars = bound_for(input_chars, limit);
  if (input_chars <= limit_chars && normkit::is_normalized(text, form)) {
    return BoundedNormalization{std::nullopt, input_chars, input_chars, limit_chars, false};
  }
  normkit::ComposeStream stream(text, form);
  return collect_counted(text, input_chars, stream, limit);
}

void write_normalization_stats(StatsMap& stats, const NormalizationFacts& facts) {
  stats.add("normalization_input_chars", facts.input_chars);
  stats.add("normalization_output_chars", facts.output_chars);
  stats.add("normalization_output_limit_chars", facts.limit_chars);
  stats.add("normalization_truncated", facts.truncated);
  stats.add("normalized_changed", facts.changed);
  stats.add("post_removal_normalized_changed", facts.post_removal_changed);
}

}  // namespace orlenta
