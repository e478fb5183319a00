#include "pipeline/pipeline.h"

#include "classes/variation_sequences.h"
#include "normkit/normalize.h"
#include "passes/bounded_normalization.h"
#include "passes/combining_signal.h"
#include "passes/encoded_blob_signal.h"
#include "passes/entropy_signal.h"
#include "passes/removal_pass.h"
#include "passes/whitespace_tidy.h"
#include "text/utf8.h"

namespace orlenta {
namespace {

// Number of entries the stats object ends up with at most.
constexpr std::size_t stats_capacity = 24;

// What the two normalizations did, for the statistics.
struct NormalizationFacts {
  bool ascii_fast_path = false;
  bool changed = false;
  bool post_removal_changed = false;
  bool truncated = false;
  std::uint64_t input_chars = 0;
  std::uint64_t output_chars = 0;
  std::uint64_t limit_chars = 0;
};

// What the signal scans measured; a scan that the policy switches off
// leaves its entry empty.
struct SignalFacts {
  std::optional<CombiningSignals> combining;
  std::optional<BlobSignals> blob;
  EntropySignals entropy;
};

// Every statistic of the call, written in name order so that each one is
// appended to the stats object rather than inserted into it (the scans'
// writers insert theirs, which are appended all the same).
void write_stats(StatsMap& stats, const NormalizationFacts& normalization, const RemovalCounters& counters,
                 const ResolvedPolicy& policy, const SignalFacts& signals) {
  const std::string_view unicode_version = normkit::unicode_version;
  stats.reserve(stats_capacity);
  stats.append("ascii_fast_path", normalization.ascii_fast_path);
  if (signals.blob) write_blob_stats(stats, *signals.blob);
  if (signals.combining) write_combining_stats(stats, *signals.combining);
  stats.append("default_ignorable_removed", counters.default_ignorable_removed);
  stats.append("default_ignorable_removed_joiner", counters.default_ignorable_removed_joiner);
  stats.append("default_ignorable_removed_other", counters.default_ignorable_removed_other);
  stats.append("default_ignorable_removed_tag", std::uint64_t{0});
  stats.append("default_ignorable_removed_variation_selector", counters.default_ignorable_removed_variation_selector);
  stats.append("default_ignorable_stripped", policy.remove_default_ignorables);
  write_entropy_stats(stats, signals.entropy);
  stats.append("ideographic_variation_policy", std::string("han_context"));
  stats.append("invalid_variation_selector_count", counters.invalid_variation_selectors);
  stats.append("normalization_input_chars", normalization.input_chars);
  stats.append("normalization_output_chars", normalization.output_chars);
  stats.append("normalization_output_limit_chars", normalization.limit_chars);
  stats.append("normalization_truncated", normalization.truncated);
  stats.append("normalized_changed", normalization.changed);
  stats.append("post_removal_normalized_changed", normalization.post_removal_changed);
  stats.append("unicode_mark_version", std::string(unicode_version));
  stats.append("unicode_normalization_version", std::string(unicode_version));
  stats.append("variation_data_version", std::string(variation_sequence_table_version()));
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

  BoundedNormalization first = normalize_text_with_limit(text, policy.normalization, std::nullopt);
  NormalizationFacts facts{.ascii_fast_path = false,
                           .changed = first.text.has_value(),
                           .post_removal_changed = false,
                           .truncated = first.truncated,
                           .input_chars = first.input_chars,
                           .output_chars = first.output_chars,
                           .limit_chars = first.limit_chars};
  // Printable ASCII, tab and line feed: nothing in such a text can be
  // removed, flagged or composed, so the per-character pass can be skipped.
  facts.ascii_fast_path = !facts.changed && !policy.tidy_whitespace &&
                          plain_ascii_run_length(text.data(), text.data() + text.size()) == text.size();

  SanitizeResult result;
  SanitizeReport& report = result.report;
  report.policy = policy.name;
  report.normalization = std::string(form_name(policy.normalization));
  if (first.truncated) bump_removed(report, "normalization_amplified", 1);
  bool changed = facts.changed;

  // The output starts as the text under processing, which the removal pass
  // then shortens in place: a normalized copy is taken over, the caller's
  // text is copied once.
  std::string& output = result.text;
  if (first.text) {
    output = std::move(*first.text);
  } else {
    output.assign(text);
  }
  RemovalPass pass{policy, return_spans, output, report, changed, {}};
  if (!facts.ascii_fast_path && !output.empty() && !run_removal_pass(pass)) {
    return Error{std::string(span_limit_message)};
  }
  if (span_limit_exceeded(report)) return Error{std::string(span_limit_message)};
  if (policy.tidy_whitespace) run_whitespace_tidy(output, report, changed);

  // Renormalized when something counted as removed may have left the output
  // out of its form and the output is not pure ASCII. The first normalization
  // leaves the text whole or truncates it. A removal can bring together code
  // points that compose or reorder, but only where the code point after it
  // has no normalization boundary before it, which the pass notes. The tidy
  // cannot: it only drops, or turns into U+0020, whitespace that composes
  // with nothing, next to line feeds, spaces or the ends of the text. In every
  // other case normalizing again would change nothing. Both conditions here
  // imply a counted removal.
  if ((pass.joined_without_boundary || first.truncated) && has_non_ascii(output)) {
    BoundedNormalization second = normalize_text_with_limit(output, policy.normalization, first.limit_chars);
    if (second.truncated && !first.truncated) bump_removed(report, "normalization_amplified", 1);
    facts.truncated = facts.truncated || second.truncated;
    if (second.text) {
      output = std::move(*second.text);
      facts.post_removal_changed = true;
      changed = true;
    }
  }

  // The signals only observe the final output: they flag, never change.
  const SignalSpec& thresholds = registry().signals;
  SignalFacts signals;
  if (policy.flag_combining_abuse) signals.combining = measure_combining_marks(output, thresholds);
  if (policy.flag_base64ish) signals.blob = measure_encoded_blobs(output, thresholds);
  signals.entropy = measure_entropy(output, thresholds);

  write_stats(report.stats, facts, pass.counters, policy, signals);
  if (signals.combining) flag_combining_abuse(report, *signals.combining);
  if (signals.blob) flag_encoded_blob(report, *signals.blob);
  flag_high_entropy(report, signals.entropy);
  report.changed = changed;
  return result;
}

}  // namespace orlenta
