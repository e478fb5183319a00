// The virama-like signs of the Indic_Syllabic_Category property.
#pragma once

#include <cstdint>
#include <string_view>

namespace orlenta {

// Only the two values that mark a virama-like sign are kept; every other
// code point is `other`. A Virama kills the inherent vowel and may show as
// a mark; an Invisible_Stacker only stacks the consonants around it.
enum class IndicSyllabicCategory : std::uint8_t { other, virama, invisible_stacker };

IndicSyllabicCategory indic_syllabic_category(char32_t cp);

// The Unicode version the table was generated from.
std::string_view indic_syllabic_category_table_version();

}  // namespace orlenta
