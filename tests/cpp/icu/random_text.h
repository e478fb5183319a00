// Random texts built to stress normalization: starters that compose with
// what follows, combining marks in and out of canonical order, Hangul
// syllables and conjoining jamo, compatibility characters, decomposed
// sequences waiting to be recomposed, and unassigned code points.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "derived_age.h"

namespace icu_differential {

// Code points ICU knows, grouped by their part in normalization.
struct CodePointPools {
  std::vector<char32_t> assigned;             // all of them, private use excepted
  std::vector<char32_t> unassigned;           // unassigned even in the latest version
  std::vector<char32_t> marks;                // Canonical_Combining_Class above 0
  std::vector<char32_t> composition_leads;    // first code point of a canonical decomposition
  std::vector<char32_t> combining_backwards;  // NFC_Quick_Check Maybe: may compose with what precedes
  std::vector<char32_t> canonical_composites;
  std::vector<char32_t> compatibility;        // a compatibility decomposition only
  std::vector<char32_t> hangul_syllables;
  std::vector<char32_t> jamo;                 // conjoining jamo and their non-conjoining neighbours
  // NFD of the canonical composites, NFKD of the compatibility characters
  std::vector<std::u32string> full_decompositions;
};

// Pools of the code points assigned in `up_to` or earlier, classified with
// ICU's own properties so that every pick is one ICU knows.
CodePointPools build_pools(const std::vector<AgeRange>& ages, UnicodeVersion up_to);

std::u32string random_text(const CodePointPools& pools, std::mt19937& random);

std::string to_utf8(const std::u32string& text);

}  // namespace icu_differential
