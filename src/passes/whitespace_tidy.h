// Collapses horizontal whitespace (tab and the space separators of
// General_Category Zs), drops indentation and trailing blanks, and removes
// the text's trailing line feeds.
#pragma once

#include <cstdint>
#include <string>

namespace orlenta {

// Rewrites `text` in place. Returns what the report counts under
// "whitespace_tidy": 0 when the text was tidy already, else the number of
// code points dropped, at least 1.
std::uint64_t run_whitespace_tidy(std::string& text);

}  // namespace orlenta
