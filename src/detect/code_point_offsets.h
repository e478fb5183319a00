// The detectors find byte offsets; callers index a str by code points.
#pragma once

#include <string_view>
#include <vector>

#include "finding.h"

namespace orlenta::detect {

// Rewrites every finding's byte offsets (each on a code point boundary of
// `text`) as code point offsets, counting the text once however many
// findings there are.
void to_code_point_offsets(std::string_view text, std::vector<Finding>& findings);

}  // namespace orlenta::detect
