// The emoji properties that an emoji ZWJ sequence is recognised by.
#pragma once

#include <cstdint>
#include <string_view>

namespace orlenta {

// Bits of emoji_properties(cp).
enum EmojiProperty : std::uint8_t {
  // The pictographs, assigned or reserved for future emoji, that an element
  // of an emoji ZWJ sequence is built on.
  extended_pictographic = 1,
  // The five skin tones, which may follow an emoji.
  emoji_modifier = 2,
};

std::uint8_t emoji_properties(char32_t cp);

inline bool is_extended_pictographic(char32_t cp) { return (emoji_properties(cp) & extended_pictographic) != 0; }
inline bool is_emoji_modifier(char32_t cp) { return (emoji_properties(cp) & emoji_modifier) != 0; }

// The emoji version the table was generated from ("17.0").
std::string_view emoji_properties_table_version();

}  // namespace orlenta
