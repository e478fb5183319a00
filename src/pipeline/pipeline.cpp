#include "pipeline/pipeline.h"

#include <utility>

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

// The named preset or alias with the call's overrides applied: the
// process-wide policy itself when there are none, which most calls have,
// else a copy in `overridden`. nullptr for an unknown name.
const ResolvedPolicy* resolve(std::string_view name, std::optional<NormalizationForm> normalization,
                              std::optional<bool> tidy_whitespace, ResolvedPolicy& overridden) {
  const ResolvedPolicy* preset = find_policy(name);
  if (preset == nullptr || (!normalization && !tidy_whitespace)) return preset;
  overridden = *preset;
  if (normalization) overridden.normalization = *normalization;
  if (tidy_whitespace) overridden.tidy_whitespace = *tidy_whitespace;
  return &overridden;
}

// The text under processing and what its normalization did.
struct Normalized {
  std::string text;
  NormalizationFacts facts;
};

// The caller's text is copied once, when normalization leaves it as it is;
// a normalized copy is taken over.
Normalized normalize_input(std::string_view text, NormalizationForm form) {
  BoundedNormalization first = normalize_text_with_limit(text, form, std::nullopt);
  Normalized normalized;
  normalized.facts = NormalizationFacts{.input_chars = first.input_chars,
                                        .output_chars = first.output_chars,
                                        .limit_chars = first.limit_chars,
                                        .changed = first.text.has_value(),
                                        .post_removal_changed = false,
                                        .truncated = first.truncated};
  if (first.text) {
    normalized.text = std::move(*first.text);
  } else {
    normalized.text.assign(text);
  }
  return normalized;
}

// Printable ASCII, tab and line feed: nothing in such a text can be
// removed, flagged or composed, so the per-character pass can be skipped.
bool takes_ascii_fast_path(const Normalized& normalized, const ResolvedPolicy& policy) {
  const std::string& text = normalized.text;
  return !normalized.facts.changed && !policy.tidy_whitespace &&
         plain_ascii_run_length(text.data(), text.data() + text.size()) == text.size();
}

Outcome<Removal> remove(std::string text, bool ascii_fast_path, const ResolvedPolicy& policy, bool return_spans) {
  if (ascii_fast_path || text.empty()) {
    Removal nothing_removed;
    nothing_removed.text = std::move(text);
    return nothing_removed;
  }
  return remove_characters(std::move(text), policy, return_spans ? SpanRecording::capped : SpanRecording::none);
}

// Normalizes the output again when something removed may have left it out
// of its form, and it is not pure ASCII. The first normalization leaves the
// text whole or truncates it. A removal can bring together code points that
// compose or reorder, but only where the code point after it has no
// normalization boundary before it, which the pass notes. The tidy cannot:
// it only drops, or turns into U+0020, whitespace that composes with
// nothing, next to line feeds, spaces or the ends of the text. In every
// other case normalizing again would change nothing. Both conditions here
// imply a counted removal.
void renormalize_where_joined(std::string& output, const Removal& removal, NormalizationForm form,
                              NormalizationFacts& facts) {
  if (!(removal.joined_without_boundary || facts.truncated) || !has_non_ascii(output)) return;
  BoundedNormalization second = normalize_text_with_limit(output, form, facts.limit_chars);
  facts.truncated = facts.truncated || second.truncated;
  if (second.text) {
    output = std::move(*second.text);
    facts.post_removal_changed = true;
  }
}

// What the signal scans measured on the final output; a scan that the
// policy switches off leaves its entry empty. They only observe: they flag,
// never change.
struct Signals {
  std::optional<CombiningSignals> combining;
  std::optional<BlobSignals> blob;
  EntropySignals entropy;
};

// The entropy comes first: its count of a short text settles the combining
// scan of most texts, and most of the blob scan's first look.
Signals measure(std::string_view output, const ResolvedPolicy& policy) {
  Signals signals;
  TextCensus census;
  const std::uint64_t lead_bytes_to_list = policy.flag_combining_abuse ? combining_lead_bytes() : 0;
  signals.entropy = measure_entropy_and_census(output, policy.signals, lead_bytes_to_list, census);
  if (policy.flag_combining_abuse) {
    signals.combining = measure_combining_marks_with_census(output, policy.signals, census);
  }
  if (policy.flag_base64ish) signals.blob = measure_encoded_blobs_with_census(output, policy.signals, census);
  return signals;
}

// The data versions and fixed settings every report states.
void write_fixed_stats(StatsMap& stats) {
  const std::string_view unicode_version = normkit::unicode_version;
  stats.add("ideographic_variation_policy", std::string_view("han_context"));
  stats.add("unicode_mark_version", unicode_version);
  stats.add("unicode_normalization_version", unicode_version);
  stats.add("variation_data_version", variation_sequence_table_version());
}

SanitizeReport assemble(const ResolvedPolicy& policy, bool ascii_fast_path, const NormalizationFacts& normalization,
                        Removal& removal, std::uint64_t tidied, const Signals& signals) {
  SanitizeReport report;
  report.policy = policy.name;
  report.normalization = form_name(policy.normalization);
  report.removed_counts = std::move(removal.removed_counts);
  report.flagged_counts = std::move(removal.flagged_counts);
  report.spans = std::move(removal.spans);
  if (normalization.truncated) bump_removed(report, "normalization_amplified", 1);
  if (tidied != 0) bump_removed(report, "whitespace_tidy", tidied);
  // Normalization alone counts as a change; a removal or the tidy has
  // counted itself.
  report.changed = normalization.changed || normalization.post_removal_changed || !report.removed_counts.empty();

  StatsMap& stats = report.stats;
  stats.reserve(stats_capacity);
  stats.add("ascii_fast_path", ascii_fast_path);
  write_normalization_stats(stats, normalization);
  write_removal_stats(stats, removal.counters, policy);
  if (signals.combining) write_combining_stats(stats, *signals.combining);
  if (signals.blob) write_blob_stats(stats, *signals.blob);
  write_entropy_stats(stats, signals.entropy);
  write_fixed_stats(stats);
  // Every phase names its stats with string literals.
  stats.sort_literal_names();

  if (signals.combining) flag_combining_abuse(report, *signals.combining);
  if (signals.blob) flag_encoded_blob(report, *signals.blob);
  flag_high_entropy(report, signals.entropy);
  return report;
}

}  // namespace

Outcome<SanitizeResult> sanitize_inner_with_overrides(std::string_view text, std::string_view policy_name,
                                                      std::optional<NormalizationForm> normalization,
                                                      std::optional<bool> tidy_whitespace, bool return_spans) {
  ResolvedPolicy overridden;
  const ResolvedPolicy* resolved = resolve(policy_name, normalization, tidy_whitespace, overridden);
  if (resolved == nullptr) return Error{"unknown policy: " + std::string(policy_name)};
  const ResolvedPolicy& policy = *resolved;

  Normalized normalized = normalize_input(text, policy.normalization);
  const bool ascii_fast_path = takes_ascii_fast_path(normalized, policy);
  Outcome<Removal> removed = remove(std::move(normalized.text), ascii_fast_path, policy, return_spans);
  if (Error* error = std::get_if<Error>(&removed)) return std::move(*error);
  Removal& removal = std::get<Removal>(removed);
  std::string output = std::move(removal.text);
  const std::uint64_t tidied = policy.tidy_whitespace ? run_whitespace_tidy(output) : 0;
  renormalize_where_joined(output, removal, policy.normalization, normalized.facts);
  const Signals signals = measure(output, policy);
  SanitizeReport report = assemble(policy, ascii_fast_path, normalized.facts, removal, tidied, signals);
  return SanitizeResult{std::move(output), std::move(report)};
}

}  // namespace orlenta
