// The Indic_Syllabic_Category property, in the classes that tell where a
// joiner shapes a Brahmic syllable.
#pragma once

#include <cstdint>
#include <string_view>

namespace orlenta {

// A Virama kills the inherent vowel and may show as a mark; an
// Invisible_Stacker only stacks the consonants around it. Every other
// letter or mark with a category (consonants, vowels, vowel signs, nukta,
// bindu, visarga and the like) is a syllable_part. The rest, including the
// categorised digits, hyphens, the no-break space and the dotted circle,
// is `other`.
enum class IndicSyllabicCategory : std::uint8_t { other, virama, invisible_stacker, syllable_part };

IndicSyllabicCategory indic_syllabic_category(char32_t cp);

// The Unicode version the table was generated from.
std::string_view indic_syllabic_category_table_version();

}  // namespace orlenta
