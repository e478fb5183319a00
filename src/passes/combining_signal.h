// The combining-mark signals: how much of the sanitized output is combining
// marks and how tall the stacks of consecutive marks grow ("Zalgo" text).
#pragma once

#include <string_view>

#include "policy/policy.h"
#include "report/report.h"

namespace orlenta {

// Writes "combining_ratio", "combining_max_stack" and
// "combining_suspicious_stacks" into the report's stats and bumps
// "high_combining_ratio" and "excessive_combining_stack", each at most once.
void scan_combining_marks(std::string_view output, const SignalSpec& signals, SanitizeReport& report);

}  // namespace orlenta
