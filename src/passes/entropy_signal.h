// The entropy signal: Shannon entropy, in bits per code point, of the first
// code points of the sanitized output, flagged as "high_entropy" when both the
// entropy and the output's length exceed the registry's thresholds.
#pragma once

#include <cstdint>
#include <string_view>

#include "passes/text_census.h"
#include "policy/policy.h"
#include "report/report.h"

namespace orlenta {

// The entropy of the prefix and whether it raises "high_entropy".
struct EntropySignals {
  double entropy = 0.0;
  bool high = false;
};

// Reads only the first `entropy_prefix_chars` code points for the measure;
// the rest of the text is only counted, and only when the length test needs
// it.
EntropySignals measure_entropy(std::string_view output, const SignalSpec& signals);

// The same, and the census of the output in `census`, set as far as the
// prefix takes in the whole output. Its distinct code points are only listed
// when one of `lead_bytes_to_list` occurs (bit b for the byte 0xC0 + b): the
// scan that reads them needs them for those alone.
EntropySignals measure_entropy_and_census(std::string_view output, const SignalSpec& signals,
                                          std::uint64_t lead_bytes_to_list, TextCensus& census);

// "entropy_2000".
void write_entropy_stats(StatsMap& stats, const EntropySignals& measured);

// Bumps "high_entropy" at most once.
void flag_high_entropy(SanitizeReport& report, const EntropySignals& measured);

}  // namespace orlenta
