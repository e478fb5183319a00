// Conversion from valid UTF-8 to Latin-1 or to code points, forms CPython
// builds a str from with less work than from UTF-8. It needs no
// interpreter, so the binding runs it without the lock and leaves only the
// rest to the interpreter.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#include "text/utf8.h"

namespace orlenta {

// The highest byte of a text, which tells the widest code point apart as
// CPython's str kinds do: below 0x80 all ASCII, up to latin1_highest_byte
// all below U+0100 (the lead bytes 0xC2 and 0xC3 start U+0080 to U+00FF).
// A loop the compiler turns into vector code.
inline unsigned char highest_byte(std::string_view utf8) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
  unsigned char highest = 0;
  for (std::size_t i = 0; i < utf8.size(); ++i) highest = bytes[i] > highest ? bytes[i] : highest;
  return highest;
}

inline constexpr unsigned char latin1_highest_byte = 0xC3;

// Copies the run of ASCII bytes at `p` to `q`, one code unit each, eight at
// a time while whole words of it are left, and moves both past it. For
// char, `q` may lie at or before `p` in the same buffer.
template <class CodeUnit>
void copy_ascii_run(const char*& p, const char* const end, CodeUnit*& q) {
  for (; end - p >= 8 && (load_unaligned_word(p) & word_high_bits) == 0; p += 8, q += 8) {
    if constexpr (sizeof(CodeUnit) == 1) {
      std::memmove(q, p, 8);
    } else {
      for (int k = 0; k < 8; ++k) q[k] = static_cast<CodeUnit>(p[k]);
    }
  }
  for (; p < end && static_cast<unsigned char>(*p) < 0x80; ++p) *q++ = static_cast<CodeUnit>(*p);
}

// Writes the Latin-1 form of a text whose highest byte is at most
// latin1_highest_byte to `out` and returns the bytes written, one per code
// point. `out` may be the text's own first byte: no code point takes fewer
// bytes in UTF-8, so nothing is overwritten before it has been read.
inline std::size_t utf8_to_latin1(std::string_view utf8, char* out) {
  const char* p = utf8.data();
  const char* const end = p + utf8.size();
  char* q = out;
  while (p < end) {
    const auto lead = static_cast<unsigned char>(*p);
    if (lead < 0x80) {
      copy_ascii_run(p, end, q);
      continue;
    }
    *q++ = static_cast<char>(((lead & 0x03u) << 6) | (static_cast<unsigned char>(p[1]) & 0x3Fu));
    p += 2;
  }
  return static_cast<std::size_t>(q - out);
}

// The lead bytes from 0xC4 up start the code points from U+0100 up: a text
// with none of them is ASCII or Latin-1.
inline constexpr unsigned char first_wide_lead_byte = 0xC4;

// Writes the code points of a valid UTF-8 text to `out`, which has room for
// one per byte, and returns how many there are.
template <class CodeUnit>
std::size_t utf8_to_code_points(std::string_view utf8, CodeUnit* out) {
  const char* p = utf8.data();
  const char* const end = p + utf8.size();
  CodeUnit* q = out;
  while (p < end) {
    if (static_cast<unsigned char>(*p) < 0x80) {
      copy_ascii_run(p, end, q);
      continue;
    }
    std::size_t length = 0;
    *q++ = static_cast<CodeUnit>(decode_utf8(p, length));
    p += length;
  }
  return static_cast<std::size_t>(q - out);
}

}  // namespace orlenta
