// normkit: the UTF-8 decoder and encoder that the normalizer uses, for callers
// that walk the same text the same way.
//
// decode() reads one code point and never reads past `end`. A byte that does
// not start a well-formed sequence (Unicode Table 3-7: no overlongs, no
// surrogates, nothing above U+10FFFF, no truncated sequence) decodes as U+FFFD
// with length 1, so the following byte is decoded on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace normkit::utf8 {

inline constexpr char32_t replacement_character = 0xFFFD;

struct Decoded {
  char32_t cp;          // the code point, or U+FFFD for an ill-formed byte
  std::uint8_t length;  // bytes consumed: 1 to 4
  bool valid;           // false: the byte at p does not start a well-formed sequence
};

// Decodes the sequence at p (p < end) into cp and returns its length, or
// returns 0, leaving cp unspecified, when the byte at p does not start a
// well-formed sequence.
inline unsigned decode_valid(const unsigned char* p, const unsigned char* end, char32_t& cp) noexcept {
  const unsigned b0 = p[0];
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  const std::size_t avail = static_cast<std::size_t>(end - p);
  if (b0 < 0xE0) {
    if (b0 >= 0xC2 && avail >= 2 && (p[1] & 0xC0) == 0x80) {
      cp = ((b0 & 0x1F) << 6) | (p[1] & 0x3Fu);
      return 2;
    }
    return 0;
  }
  if (b0 < 0xF0) {
    if (avail >= 3 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80) {
      cp = ((b0 & 0x0F) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
      if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) return 3;
    }
    return 0;
  }
  if (b0 <= 0xF4 && avail >= 4 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80 &&
      (p[3] & 0xC0) == 0x80) {
    cp = ((b0 & 0x07) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
    if (cp >= 0x10000 && cp <= 0x10FFFF) return 4;
  }
  return 0;
}

// Requires p < end.
inline Decoded decode(const unsigned char* p, const unsigned char* end) noexcept {
  char32_t cp = 0;
  const unsigned length = decode_valid(p, end, cp);
  if (length == 0) return {replacement_character, 1, false};
  return {cp, static_cast<std::uint8_t>(length), true};
}

inline Decoded decode(std::string_view text, std::size_t offset) noexcept {
  const auto* base = reinterpret_cast<const unsigned char*>(text.data());
  return decode(base + offset, base + text.size());
}

// Writes the UTF-8 form of cp (a scalar value) to out, which has room for 4
// bytes; returns the number of bytes written.
inline std::size_t encode(char32_t cp, char* out) noexcept {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

inline void append(std::string& out, char32_t cp) {
  char buf[4];
  out.append(buf, encode(cp, buf));
}

}  // namespace normkit::utf8
