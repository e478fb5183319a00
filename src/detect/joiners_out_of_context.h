// ZERO WIDTH NON-JOINER and ZERO WIDTH JOINER where they have no job.
//
// Both shape text in some scripts and join emoji, so they are kept by the
// sanitizer's permissive presets; elsewhere one is an invisible mark that
// makes two identical-looking words differ, or one symbol of a hidden code.
// A joiner is accepted where Unicode gives it a job (the contexts are
// listed in joiners_out_of_context.cpp) and is a finding anywhere else:
// inside a Latin word or an identifier, between ASCII characters.
#pragma once

#include <string_view>
#include <vector>

#include "finding.h"

namespace orlenta::detect {

// Appends a joiner_out_of_context finding, with the evidence "code_point"
// ("U+200C" or "U+200D"), for every joiner of `text` (valid UTF-8) that
// stands alone, outside a context that gives it a job. A joiner next to
// another zero-width code point belongs to a run, which
// find_zero_width_runs reports.
void find_joiners_out_of_context(std::string_view text, std::vector<Finding>& found);

}  // namespace orlenta::detect
