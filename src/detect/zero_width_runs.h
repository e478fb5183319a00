// Runs of zero-width code points: two or more in a row are a finding
// wherever they stand, since no orthography puts them side by side and a
// binary or four-symbol code hides a whole message in them.
#pragma once

#include <string_view>
#include <vector>

#include "finding.h"

namespace orlenta::detect {

// Appends a zero_width_run finding for every run of two or more code points
// of is_zero_width in `text` (valid UTF-8), with the evidence "length" (in
// code points) and "alphabet" (the distinct code points, ascending:
// "U+200C U+200D").
void find_zero_width_runs(std::string_view text, std::vector<Finding>& found);

}  // namespace orlenta::detect
