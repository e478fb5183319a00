// Collapses horizontal whitespace (tab and the space separators of
// General_Category Zs), drops indentation and trailing blanks, and removes
// the text's trailing line feeds.
#pragma once

#include <string>

#include "report/report.h"

namespace orlenta {

// Rewrites `output` in place. When the text changed, counts
// "whitespace_tidy" (the number of code points dropped, at least 1) and sets
// `changed`.
void run_whitespace_tidy(std::string& output, SanitizeReport& report, bool& changed);

}  // namespace orlenta
