// The encoded-blob signal: base64-like material in the sanitized output,
// either one long unbroken run or wrapped over whitespace-separated lines.
#pragma once

#include <string_view>

#include "policy/policy.h"
#include "report/report.h"

namespace orlenta {

// Writes "base64ish" and "base64ish_wrapped" into the report's stats and
// bumps "base64ish_blob" at most once. `base64_min_chars` is both the
// minimum run length and the width of the window of the wrapped test.
void scan_encoded_blobs(std::string_view output, const SignalSpec& signals, SanitizeReport& report);

}  // namespace orlenta
