// Every detector over one text: the findings orlenta.analyze returns.
#pragma once

#include <string_view>
#include <vector>

#include "finding.h"

namespace orlenta::detect {

// `utf8_text` must be valid UTF-8 (a Python str's form is). The findings
// come sorted by start, end and kind, with code point offsets.
std::vector<Finding> analyze(std::string_view utf8_text);

}  // namespace orlenta::detect
