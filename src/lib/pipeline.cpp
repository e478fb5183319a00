#include "lib/pipeline.h"

#include <algorithm>

#include "classes/variation_sequences.h"
#include "lib/bounded_normalization.h"
#include "normkit/normalize.h"
#include "passes/combining_signal.h"
#include "passes/encoded_blob_signal.h"
#include "passes/entropy_signal.h"
#include "passes/removal_pass.h"
#include "passes/utf8.h"
#include "passes/whitespace_tidy.h"

namespace orlenta {
namespace {

// Printable ASCII, tab and line feed: nothing in such a text can be removed,
// flagged or composed, so the per-character pass can be skipped.
bool is_plain_ascii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 0x20 && byte <= 0x7E) || byte == 0x09 || byte == 0x0A;
  });
}

void write_normalization_stats(StatsMap& stats, const BoundedNormalization& first, bool ascii_fast_path,
                               bool post_removal_changed, bool truncated) {
  stats["ascii_fast_path"] = ascii_fast_path;
  stats["unicode_normalization_version"] = std::string(normkit::unicode_version);
  stats["unicode_mark_version"] = std::string(normkit::unicode_version);
  stats["normalized_changed"] = first.text.has_value();
  stats["post_removal_normalized_changed"] = post_removal_changed;
  stats["normalization_input_chars"] = first.input_chars;
  stats["normalization_output_chars"] = first.output_chars;
  stats["normalization_output_limit_chars"] = first.limit_chars;
  stats["normalization_truncated"] = truncated;
}

void write_removal_stats(StatsMap& stats, const RemovalCounters& counters, const ResolvedPolicy& policy) {
  stats["default_ignorable_removed"] = counters.default_ignorable_removed;
  stats["default_ignorable_removed_joiner"] = counters.default_ignorable_removed_joiner;
  stats["default_ignorable_removed_variation_selector"] = counters.default_ignorable_removed_variation_selector;
  stats["default_ignorable_removed_tag"] = std::uint64_t{0};
  stats["default_ignorable_removed_other"] = counters.default_ignorable_removed_other;
  stats["default_ignorable_stripped"] = policy.remove_default_ignorables;
  stats["invalid_variation_selector_count"] = counters.invalid_variation_selectors;
  stats["variation_data_version"] = std::string(variation_sequence_table_version());
  stats["ideographic_variation_policy"] = std::string("han_context");
}

}  // namespace

Outcome<SanitizeResult> sanitize_inner_with_overrides(std::string_view text, std::string_view policy_name,
                                                      std::optional<NormalizationForm> normalization,
                                                      std::optional<bool> tidy_whitespace, bool return_spans) {
  std::optional<ResolvedPolicy> resolved = get_policy(policy_name);
  if (!resolved) return Error{"unknown policy: " + std::string(policy_name)};
  ResolvedPolicy& policy = *resolved;
  if (normalization) policy.normalization = *normalization;
  if (tidy_whitespace) policy.tidy_whitespace = *tidy_whitespace;

  const BoundedNormalization first = normalize_text_with_limit(text, policy.normalization, std::nullopt);
  const std::string_view processing = first.text ? std::string_view(*first.text) : text;
  const bool ascii_fast_path = !first.text && !policy.tidy_whitespace && is_plain_ascii(processing);

  SanitizeResult result;
  SanitizeReport& report = result.report;
  report.policy = policy.name;
  report.normalization = std::string(form_name(policy.normalization));
  if (first.truncated) bump_removed(report, "normalization_amplified", 1);
  bool changed = first.text.has_value();

  std::string& output = result.text;
  RemovalPass pass{policy, return_spans, output, report, changed, {}};
  if (ascii_fast_path) {
    output.assign(processing);
  } else if (!processing.empty()) {
    output.reserve(processing.size());
    if (!run_removal_pass(pass, processing)) return Error{std::string(span_limit_message)};
  }
  if (span_limit_exceeded(report)) return Error{std::string(span_limit_message)};
  if (policy.tidy_whitespace) run_whitespace_tidy(output, report, changed);

  bool post_removal_changed = false;
  bool truncated = first.truncated;
  if (!report.removed_counts.empty() && has_non_ascii(output)) {
    BoundedNormalization second = normalize_text_with_limit(output, policy.normalization, first.limit_chars);
    if (second.truncated && !first.truncated) bump_removed(report, "normalization_amplified", 1);
    truncated = truncated || second.truncated;
    if (second.text) {
      output = std::move(*second.text);
      post_removal_changed = true;
      changed = true;
    }
  }

  write_normalization_stats(report.stats, first, ascii_fast_path, post_removal_changed, truncated);
  write_removal_stats(report.stats, pass.counters, policy);

  // The signals only observe the final output: they flag, never change.
  const SignalSpec& signals = registry().signals;
  if (policy.flag_combining_abuse) scan_combining_marks(output, signals, report);
  if (policy.flag_base64ish) scan_encoded_blobs(output, signals, report);
  scan_entropy(output, signals, report);
  report.changed = changed;
  return result;
}

}  // namespace orlenta
