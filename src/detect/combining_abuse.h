// Combining marks piled on one base beyond what the base's script writes.
#pragma once

#include <string_view>
#include <vector>

#include "finding.h"

namespace orlenta::detect {

// Appends, with byte offsets, a `zalgo` finding for every stretch of Latin,
// Greek or Cyrillic letters that each carry three marks or more, and a
// `combining_abuse` finding for every stretch of bases of another script
// that carry more marks than that script's orthography does (its limit,
// measured on the UDHR corpus; at least two). A stack that is the
// decomposition of one precomposed character is no zalgo.
void find_combining_abuse(std::string_view text, std::vector<Finding>& found);

}  // namespace orlenta::detect
