// Text whose characters are far more varied than prose of its script.
#pragma once

#include <string_view>
#include <vector>

#include "finding.h"

namespace orlenta::detect {

// Appends, with byte offsets, an `unusual_entropy` finding for every
// stretch of windows of 512 code points whose character entropy exceeds
// by a bit or more the highest that UDHR prose reaches in each script that
// writes an eighth of the window's letters or more. Windows are counted from
// the start of the text, leaving out the encoded payloads already in
// `found` (found once is enough); so any random stretch of 1023 code points
// or more fills a window. Shorter texts, windows without letters and
// windows with a script of unmeasured prose are not judged.
void find_unusual_entropy(std::string_view text, std::vector<Finding>& found);

}  // namespace orlenta::detect
