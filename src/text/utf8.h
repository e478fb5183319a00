// UTF-8 helpers for text that is known to be valid: every text inside the
// pipeline comes from a Python str or from the normalizer, so the decoder
// does not validate.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "text/byte_block.h"

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

inline constexpr std::uint64_t word_ones = 0x0101010101010101ULL;
inline constexpr std::uint64_t word_high_bits = 0x8080808080808080ULL;

inline std::uint64_t load_unaligned_word(const char* p) {
  std::uint64_t word = 0;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// Number of code points: the bytes that are not continuation bytes
// (10xxxxxx, below -64 as signed bytes). The continuation bytes of sixteen
// bytes are found at once and tallied in byte lanes, each of which takes at
// most 255 blocks before the lanes are added up. A tail shorter than a block
// is counted in the block that ends with the text, with the lanes it shares
// with the blocks before it masked off, so that no byte is looked at one at
// a time unless the whole text is shorter than a block.
inline std::uint64_t count_code_points(std::string_view text) {
  constexpr std::size_t blocks_per_tally = 255;
  // From offset n, a block whose last n lanes are set.
  alignas(16) static constexpr char last_lanes[2 * block_size] = {
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
  const auto continuation = [](ByteBlock bytes) { return std::bit_cast<ByteBlock>(std::bit_cast<ByteTest>(bytes) < -64); };
  const char* p = text.data();
  const char* const end = p + text.size();
  std::uint64_t continuations = 0;
  if (text.size() < block_size) {
    for (; p < end; ++p) continuations += static_cast<signed char>(*p) < -64;
    return text.size() - continuations;
  }
  for (;;) {
    // Each lane keeps room for the tail block.
    const std::size_t blocks = std::min(static_cast<std::size_t>(end - p) / block_size, blocks_per_tally - 1);
    ByteBlock tally{};
    for (const char* const stop = p + blocks * block_size; p < stop; p += block_size) tally -= continuation(load_block(p));
    const auto rest = static_cast<std::size_t>(end - p);
    if (rest < block_size) {
      tally -= continuation(load_block(end - block_size)) & load_block(last_lanes + rest);
      return text.size() - continuations - sum_lanes(tally);
    }
    continuations += sum_lanes(tally);
  }
}

// Whether a byte from 0x80 up occurs. The high bits of 64 bytes are
// gathered before one test, a loop the compiler turns into vector code.
inline bool has_non_ascii(std::string_view text) {
  constexpr std::size_t words = 8;
  const char* p = text.data();
  const char* const end = p + text.size();
  for (; static_cast<std::size_t>(end - p) >= words * 8; p += words * 8) {
    std::uint64_t high_bits = 0;
    for (std::size_t word = 0; word < words; ++word) high_bits |= load_unaligned_word(p + 8 * word);
    if ((high_bits & word_high_bits) != 0) return true;
  }
  for (; end - p >= 8; p += 8) {
    if ((load_unaligned_word(p) & word_high_bits) != 0) return true;
  }
  for (; p < end; ++p) {
    if (static_cast<unsigned char>(*p) >= 0x80) return true;
  }
  return false;
}

// Bytes that are printable ASCII (0x20 to 0x7E), tab or line feed: nothing
// in the pipeline removes, flags or composes them.
constexpr bool is_plain_ascii_byte(unsigned char byte) {
  return (byte >= 0x20 && byte <= 0x7E) || byte == '\t' || byte == '\n';
}

// Length of the run of plain ASCII bytes that starts at `p`. Eight bytes are
// tested at once; a word that holds something else, or a tab or a line
// feed, is looked at byte by byte.
inline std::size_t plain_ascii_run_length(const char* p, const char* end) {
  const auto plain = [](char c) { return is_plain_ascii_byte(static_cast<unsigned char>(c)); };
  const char* q = p;
  while (end - q >= 8) {
    const std::uint64_t word = load_unaligned_word(q);
    // A byte below 0x20, a byte 0x7F (zero after the XOR) or a byte with its
    // high bit set leaves a high bit set.
    const std::uint64_t below_space = (word - word_ones * 0x20) & ~word;
    const std::uint64_t del = word ^ (word_ones * 0x7F);
    const std::uint64_t is_del = (del - word_ones) & ~del;
    if (((below_space | is_del | word) & word_high_bits) != 0) {
      const char* const stop = q + 8;
      while (q < stop && plain(*q)) ++q;
      if (q < stop) return static_cast<std::size_t>(q - p);
      continue;
    }
    q += 8;
  }
  while (q < end && plain(*q)) ++q;
  return static_cast<std::size_t>(q - p);
}

}  // namespace orlenta
