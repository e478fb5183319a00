// The removal pass's shortcut for ordinary code points.
#pragma once

#include "classes/code_point_classes.h"
#include "classes/emoji_flag_tags.h"

namespace orlenta {

// False only for code points that are in no class and are not the flag that
// starts a protected tag sequence: such a code point is simply retained.
// A superset of the classes, so that the common case costs a few
// comparisons and skips the decision chain.
constexpr bool needs_decision(char32_t cp) {
  if (cp < 0xA0) {
    return cp < 0x20 ? (cp != '\t' && cp != '\n') : cp >= 0x7F;
  }
  if (cp < 0x2000) {
    return cp == 0x00AD || cp == 0x034F || cp == 0x061C || in_range(cp, 0x115F, 0x1160) ||
           in_range(cp, 0x17B4, 0x17B5) || in_range(cp, 0x180B, 0x180F);
  }
  if (cp < 0x2070) {
    return cp >= 0x200B;
  }
  if (cp <= 0xFFFF) {
    return cp == 0x3164 || in_range(cp, 0xFE00, 0xFE0F) || cp == 0xFEFF || cp == 0xFFA0 ||
           in_range(cp, 0xFFF0, 0xFFFB);
  }
  return in_range(cp, 0xE0000, 0xE0FFF) || cp == waving_black_flag || in_range(cp, 0x1BCA0, 0x1BCA3) ||
         in_range(cp, 0x1D173, 0x1D17A);
}

}  // namespace orlenta
