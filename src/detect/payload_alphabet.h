// The bytes an encoded payload is written in: the letters and digits, and
// + / = _ - % of base64, base64url and percent-encoding.
#pragma once

#include <array>
#include <cstdint>

#include "text/byte_block.h"

namespace orlenta::detect {

inline constexpr std::array<bool, 256> payload_bytes = [] {
  std::array<bool, 256> table{};
  for (int c = '0'; c <= '9'; ++c) table[static_cast<std::size_t>(c)] = true;
  for (int c = 'A'; c <= 'Z'; ++c) table[static_cast<std::size_t>(c)] = true;
  for (int c = 'a'; c <= 'z'; ++c) table[static_cast<std::size_t>(c)] = true;
  for (const char c : {'+', '/', '=', '_', '-', '%'}) table[static_cast<unsigned char>(c)] = true;
  return table;
}();

inline bool is_payload_byte(char c) { return payload_bytes[static_cast<unsigned char>(c)]; }

// The lanes of the sixteen bytes at `p` that hold payload bytes, one bit
// each, the earliest lowest.
inline std::uint64_t payload_lanes(const char* p) {
  const ByteBlock bytes = load_block(p);
  const ByteBlock folded = bytes | 0x20;  // upper-case letters onto lower-case ones
  const ByteTest letter = ByteBlock(folded - 'a') < 26;
  const ByteTest digit = ByteBlock(bytes - '0') < 10;
  const ByteTest sign = (bytes == '+') | (bytes == '/') | (bytes == '=') | (bytes == '_') | (bytes == '-') |
                        (bytes == '%');
  return lane_bits(letter | digit | sign);
}

}  // namespace orlenta::detect
