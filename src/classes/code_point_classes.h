// The fixed code point classes that the removal pass, the combining-mark
// signals and the per-character queries sort characters into.
//
// Every class except the combining marks is a fixed list of ranges that does
// not follow the Unicode version. The predicates run for every character of
// every input, so each is a handful of integer comparisons, arranged so that
// the common case (letters, digits, punctuation, CJK) leaves after the first
// one or two. Callers pass Unicode scalar values; surrogates never occur.
#pragma once

#include "normkit/normalize.h"

namespace orlenta {

// first <= cp <= last in one comparison: below `first` the unsigned
// difference wraps around to a large value.
constexpr bool in_range(char32_t cp, char32_t first, char32_t last) {
  return cp - first <= last - first;
}

constexpr bool is_carriage_return(char32_t cp) { return cp == 0x000D; }

// LINE SEPARATOR and PARAGRAPH SEPARATOR.
constexpr bool is_line_separator(char32_t cp) { return in_range(cp, 0x2028, 0x2029); }

// The explicit directional formatting characters: embeddings, overrides and
// their pop (U+202A..202E), isolates and their pop (U+2066..2069).
constexpr bool is_bidi_control(char32_t cp) {
  return in_range(cp, 0x202A, 0x202E) || in_range(cp, 0x2066, 0x2069);
}

// The implicit directional marks: ARABIC LETTER MARK, LEFT-TO-RIGHT MARK,
// RIGHT-TO-LEFT MARK.
constexpr bool is_bidi_mark(char32_t cp) { return in_range(cp, 0x200E, 0x200F) || cp == 0x061C; }

// The whole 256-code-point block from U+E0000, assigned tags and the
// unassigned U+E0080..E00FF alike.
constexpr bool is_tag_character(char32_t cp) { return (cp & ~char32_t{0xFF}) == 0xE0000; }

// Exactly the Variation_Selector property: the Mongolian free variation
// selectors (U+180E between them is a vowel separator, not a selector), the
// sixteen standard selectors and the 240 ideographic ones.
constexpr bool is_variation_selector(char32_t cp) {
  if (cp < 0x180B) {
    return false;
  }
  if (cp < 0xFE00) {
    return cp <= 0x180D || cp == 0x180F;
  }
  return cp <= 0xFE0F || in_range(cp, 0xE0100, 0xE01EF);
}

// ZERO WIDTH SPACE, WORD JOINER and ZERO WIDTH NO-BREAK SPACE: invisible
// characters with no legitimate use inside ordinary text.
constexpr bool is_junk_invisible(char32_t cp) { return cp == 0x200B || cp == 0x2060 || cp == 0xFEFF; }

// ZERO WIDTH NON-JOINER and ZERO WIDTH JOINER, which shape scripts and join
// emoji sequences.
constexpr bool is_joiner(char32_t cp) { return in_range(cp, 0x200C, 0x200D); }

// C0 and C1 controls except tab, line feed and carriage return; the format
// characters of General Punctuation except the joiners; and the interlinear
// annotation characters U+FFF9..FFFB.
constexpr bool is_control_or_format(char32_t cp) {
  if (cp < 0x20) {
    return cp != '\t' && cp != '\n' && cp != '\r';
  }
  if (cp < 0x7F) {
    return false;
  }
  if (cp <= 0x9F) {
    return true;
  }
  if (cp < 0x200B) {
    return false;
  }
  if (cp <= 0x206F) {
    return (in_range(cp, 0x200B, 0x200F) && !is_joiner(cp)) || in_range(cp, 0x202A, 0x202E) || cp >= 0x2060;
  }
  return in_range(cp, 0xFFF9, 0xFFFB);
}

// Exactly the Default_Ignorable_Code_Point property of Unicode 17.0, written
// out as its seventeen ranges, split by plane and block so that most
// characters are answered after two or three comparisons.
constexpr bool is_default_ignorable(char32_t cp) {
  if (cp < 0x2000) {
    if (cp < 0x00AD) {
      return false;
    }
    if (cp < 0x115F) {
      return cp == 0x00AD || cp == 0x034F || cp == 0x061C;
    }
    return in_range(cp, 0x115F, 0x1160) || in_range(cp, 0x17B4, 0x17B5) || in_range(cp, 0x180B, 0x180F);
  }
  if (cp < 0x3000) {
    return in_range(cp, 0x200B, 0x200F) || in_range(cp, 0x202A, 0x202E) || in_range(cp, 0x2060, 0x206F);
  }
  if (cp < 0xFE00) {
    return cp == 0x3164;
  }
  if (cp <= 0xFFFF) {
    return in_range(cp, 0xFE00, 0xFE0F) || cp == 0xFEFF || cp == 0xFFA0 || in_range(cp, 0xFFF0, 0xFFF8);
  }
  return in_range(cp, 0xE0000, 0xE0FFF) || in_range(cp, 0x1BCA0, 0x1BCA3) || in_range(cp, 0x1D173, 0x1D17A);
}

// General_Category Mn, Mc or Me, from the normalization library's data: the
// one class that follows the Unicode version. Every combining mark lies at or
// above U+0300, so ASCII and Latin-1 never reach the table lookup.
inline bool is_combining_mark(char32_t cp) { return cp >= 0x0300 && normkit::is_mark(cp); }

}  // namespace orlenta
