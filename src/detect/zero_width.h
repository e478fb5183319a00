// The zero-width code points that text can be hidden in, and the scan that
// finds them.
#pragma once

namespace orlenta::detect {

// ZERO WIDTH SPACE, NON-JOINER and JOINER, WORD JOINER, INVISIBLE TIMES,
// INVISIBLE PLUS and ZERO WIDTH NO-BREAK SPACE: none of them shows, so a
// run of them can carry any message in a binary or four-symbol code.
constexpr bool is_zero_width(char32_t cp) {
  return (cp >= 0x200B && cp <= 0x200D) || cp == 0x2060 || cp == 0x2062 || cp == 0x2064 || cp == 0xFEFF;
}

// The first zero-width code point in valid UTF-8 from `p`, or `end`. Only
// their lead bytes, 0xE2 (U+2000..2FFF) and 0xEF (U+F000..FFFF), stop the
// scan, sixteen bytes at a time; the code point under each is decoded.
const char* find_zero_width(const char* p, const char* end);

}  // namespace orlenta::detect
