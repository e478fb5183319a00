// The sanitization pipeline: plain text in, sanitized text and report out.
// Touches no Python object; runs without the interpreter lock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/outcome.h"
#include "policy/policy.h"
#include "report/report.h"

namespace orlenta {

struct SanitizeResult {
  std::string text;
  SanitizeReport report;
};

Outcome<SanitizeResult> sanitize_inner_with_overrides(std::string_view text,
                                                      std::string_view policy,
                                                      std::optional<NormalizationForm> normalization,
                                                      std::optional<bool> tidy_whitespace,
                                                      bool return_spans);

}  // namespace orlenta
