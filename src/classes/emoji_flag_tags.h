// The subdivision flags that survive tag-character removal.
//
// A subdivision flag is WAVING BLACK FLAG followed by its region code spelled
// in tag letters (U+E0000 plus the ASCII letter) and the CANCEL TAG U+E007F.
// The flags of England, Scotland and Wales are the only ones recommended for
// general interchange, so their tags are kept while all others are removed.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace orlenta {

inline constexpr char32_t waving_black_flag = 0x1F3F4;

// Five tag letters and the cancel tag, four UTF-8 bytes each.
inline constexpr std::size_t flag_tags_utf8_length = 24;

using FlagTagsUtf8 = std::array<char, flag_tags_utf8_length>;

// The tag characters spelling a five-letter region code, then the cancel tag,
// UTF-8 encoded.
constexpr FlagTagsUtf8 flag_tags_utf8(std::string_view region_code) {
  FlagTagsUtf8 bytes{};
  for (std::size_t i = 0; i < 6; ++i) {
    const char32_t tag = i < 5 ? 0xE0000 + static_cast<char32_t>(region_code[i]) : 0xE007F;
    bytes[4 * i] = static_cast<char>(0xF0 | (tag >> 18));
    bytes[4 * i + 1] = static_cast<char>(0x80 | ((tag >> 12) & 0x3F));
    bytes[4 * i + 2] = static_cast<char>(0x80 | ((tag >> 6) & 0x3F));
    bytes[4 * i + 3] = static_cast<char>(0x80 | (tag & 0x3F));
  }
  return bytes;
}

// England, Scotland, Wales.
inline constexpr std::array<FlagTagsUtf8, 3> protected_flag_tags = {
    flag_tags_utf8("gbeng"),
    flag_tags_utf8("gbsct"),
    flag_tags_utf8("gbwls"),
};

// Whether the text right after a WAVING BLACK FLAG begins with the tags of a
// protected flag.
constexpr bool starts_with_protected_flag_tags(std::string_view after_flag) {
  const std::string_view head = after_flag.substr(0, flag_tags_utf8_length);
  for (const FlagTagsUtf8& tags : protected_flag_tags) {
    if (head == std::string_view(tags.data(), tags.size())) {
      return true;
    }
  }
  return false;
}

}  // namespace orlenta
