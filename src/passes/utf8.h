// UTF-8 helpers for text that is known to be valid: every text inside the
// pipeline comes from a Python str or from the normalizer, so the decoder
// does not validate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orlenta {

// Length in bytes of the sequence that starts with `lead`.
inline std::size_t utf8_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

// Decodes the code point at `p` and returns its byte length in `length`.
inline char32_t decode_utf8(const char* p, std::size_t& length) {
  const auto b0 = static_cast<unsigned char>(p[0]);
  if (b0 < 0x80) {
    length = 1;
    return b0;
  }
  const auto b1 = static_cast<unsigned char>(p[1]) & 0x3Fu;
  if (b0 < 0xE0) {
    length = 2;
    return (char32_t{b0 & 0x1Fu} << 6) | b1;
  }
  const auto b2 = static_cast<unsigned char>(p[2]) & 0x3Fu;
  if (b0 < 0xF0) {
    length = 3;
    return (char32_t{b0 & 0x0Fu} << 12) | (char32_t{b1} << 6) | b2;
  }
  const auto b3 = static_cast<unsigned char>(p[3]) & 0x3Fu;
  length = 4;
  return (char32_t{b0 & 0x07u} << 18) | (char32_t{b1} << 12) | (char32_t{b2} << 6) | b3;
}

// Decodes the code point that ends at `end` (exclusive); `begin` bounds the
// backward search.
inline char32_t decode_last_utf8(const char* begin, const char* end) {
  const char* p = end - 1;
  while (p > begin && (static_cast<unsigned char>(*p) & 0xC0u) == 0x80u) --p;
  std::size_t length = 0;
  return decode_utf8(p, length);
}

inline void append_utf8(std::string& out, char32_t cp) {
  char bytes[4];
  std::size_t n = 0;
  if (cp < 0x80) {
    bytes[n++] = static_cast<char>(cp);
  } else if (cp < 0x800) {
    bytes[n++] = static_cast<char>(0xC0 | (cp >> 6));
    bytes[n++] = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    bytes[n++] = static_cast<char>(0xE0 | (cp >> 12));
    bytes[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    bytes[n++] = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    bytes[n++] = static_cast<char>(0xF0 | (cp >> 18));
    bytes[n++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    bytes[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    bytes[n++] = static_cast<char>(0x80 | (cp & 0x3F));
  }
  out.append(bytes, n);
}

// Number of code points: the bytes that are not continuation bytes.
inline std::uint64_t count_code_points(std::string_view text) {
  std::uint64_t count = 0;
  for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0u) != 0x80u;
  return count;
}

inline bool has_non_ascii(std::string_view text) {
  unsigned char any = 0;
  for (const char c : text) any |= static_cast<unsigned char>(c);
  return (any & 0x80u) != 0;
}

}  // namespace orlenta
