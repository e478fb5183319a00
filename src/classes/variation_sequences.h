// Which base characters a variation selector may follow.
#pragma once

#include <span>
#include <string_view>

namespace orlenta {

struct VariationSequence {
  char32_t base;
  char32_t selector;
};

// The standardized and emoji variation sequences of the Unicode data,
// sorted by base and then by selector.
std::span<const VariationSequence> variation_sequence_table();

// The Unicode version the table was generated from.
std::string_view variation_sequence_table_version();

// Whether (base, selector) is a defined variation sequence: one lookup in
// masks built from the table when it is compiled for symbols and emoji, a
// bisection over the table for the other bases.
bool is_variation_sequence(char32_t base, char32_t selector);

// The Han ideograph blocks whose characters an ideographic variation
// selector (U+E0100..E01EF) may follow: Extension A, the unified ideographs,
// the compatibility ideographs, and the ideographs of planes 2 and 3
// (Extensions B to J and the compatibility supplement).
constexpr bool is_han_ideograph(char32_t cp) {
  if (cp < 0x3400) {
    return false;
  }
  if (cp <= 0xFFFF) {
    return cp <= 0x4DBF || (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xF900 && cp <= 0xFAFF);
  }
  return (cp >= 0x20000 && cp <= 0x2FA1F) || (cp >= 0x30000 && cp <= 0x3347F);
}

}  // namespace orlenta
