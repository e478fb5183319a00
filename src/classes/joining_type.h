// The Joining_Type property: how a code point takes part in cursive joining.
#pragma once

#include <cstdint>
#include <string_view>

namespace orlenta {

// Joining_Type values. A dual-joining letter joins on both sides; in logical
// order, a left-joining one joins only to what follows it and a
// right-joining one only to what precedes it. Transparent code points
// (most marks) let the letters around them join across them.
enum class JoiningType : std::uint8_t { non_joining, transparent, dual, left, right, join_causing };

JoiningType joining_type(char32_t cp);

// The Unicode version the table was generated from.
std::string_view joining_type_table_version();

// Whether a letter joins to what follows it (Dual_Joining or Left_Joining).
constexpr bool joins_following(JoiningType type) { return type == JoiningType::dual || type == JoiningType::left; }

// Whether a letter joins to what precedes it (Dual_Joining or Right_Joining).
constexpr bool joins_preceding(JoiningType type) { return type == JoiningType::dual || type == JoiningType::right; }

}  // namespace orlenta
