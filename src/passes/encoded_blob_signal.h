// The encoded-blob signal: base64-like material in the sanitized output,
// either one long unbroken run or wrapped over whitespace-separated lines.
#pragma once

#include <string_view>

#include "passes/text_census.h"
#include "policy/policy.h"
#include "report/report.h"

namespace orlenta {

// Whether the text is base64-like, and whether through the wrapped test.
struct BlobSignals {
  bool base64ish = false;
  bool wrapped = false;
};

// `base64_min_chars` is both the minimum run length and the width of the
// window of the wrapped test.
BlobSignals measure_encoded_blobs(std::string_view output, const SignalSpec& signals);

// The same as measure_encoded_blobs, with the census of the whole output in
// place of part of the first look at it: its byte counts show at once
// whether the output has the share of upper-case letters and digits that a
// wrapped blob needs.
BlobSignals measure_encoded_blobs_with_census(std::string_view output, const SignalSpec& signals,
                                              const TextCensus& census);

// "base64ish" and "base64ish_wrapped".
void write_blob_stats(StatsMap& stats, const BlobSignals& measured);

// Bumps "base64ish_blob" at most once.
void flag_encoded_blob(SanitizeReport& report, const BlobSignals& measured);

}  // namespace orlenta
