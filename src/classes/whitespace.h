// Whitespace, as the tidy and the encoded-blob signal read it. Like the
// other fixed classes these are lists of ranges; the tests compare them with
// the Unicode data.
#pragma once

#include "classes/code_point_classes.h"

namespace orlenta {

// General_Category Zs: U+0020 and the wider or non-breaking spaces.
constexpr bool is_space_separator(char32_t cp) {
  if (cp < 0x00A0) return cp == 0x0020;
  return cp == 0x00A0 || cp == 0x1680 || in_range(cp, 0x2000, 0x200A) || cp == 0x202F || cp == 0x205F ||
         cp == 0x3000;
}

// The White_Space property: the space separators, tab to carriage return,
// NEXT LINE, and the line and paragraph separators.
constexpr bool is_white_space(char32_t cp) {
  return is_space_separator(cp) || in_range(cp, 0x0009, 0x000D) || cp == 0x0085 || is_line_separator(cp);
}

}  // namespace orlenta
