// Collapses horizontal whitespace, drops indentation and trailing blanks, and
// removes the text's trailing line feeds.
#pragma once

#include <string>

#include "report/report.h"

namespace orlenta {

// Tab and the space separators (General_Category Zs).
bool is_horizontal_whitespace(char32_t cp);

// Rewrites `output`. When the text changed, counts "whitespace_tidy" (the
// number of code points dropped, at least 1) and sets `changed`.
void run_whitespace_tidy(std::string& output, SanitizeReport& report, bool& changed);

}  // namespace orlenta
