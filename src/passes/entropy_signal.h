// The entropy signal: Shannon entropy, in bits per code point, of the first
// code points of the sanitized output, flagged as "high_entropy" when both the
// entropy and the output's length exceed the registry's thresholds.
#pragma once

#include <string_view>

#include "policy/policy.h"
#include "report/report.h"

namespace orlenta {

// Writes "entropy_2000" into the report's stats and bumps "high_entropy" at
// most once. Reads only the first `entropy_prefix_chars` code points for the
// measure; the rest of the text is only counted, and only when the length
// test needs it.
void scan_entropy(std::string_view output, const SignalSpec& signals, SanitizeReport& report);

}  // namespace orlenta
