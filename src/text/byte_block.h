// Sixteen bytes at once, for the scans that look for a few kinds of bytes.
//
// A block is a vector of sixteen byte lanes (a GCC and Clang extension),
// which the compiler maps onto the machine's vector instructions: SSE2 on
// x86-64, NEON on ARM. A comparison yields all bits set in the lanes where
// it holds. Results come back as masks with one bit per lane, the earliest
// lane lowest, so that shifts move towards later bytes and the lowest set
// bit belongs to the earliest byte; four blocks make the 64-bit mask of a
// chunk.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orlenta {

using ByteBlock = std::uint8_t __attribute__((vector_size(16)));

// What a comparison of blocks yields: 0 or -1 (all bits set) per lane. Read
// as signed bytes, a block compares every byte from 0x80 up as below every
// ASCII byte.
using ByteTest = std::int8_t __attribute__((vector_size(16)));

inline constexpr std::size_t block_size = sizeof(ByteBlock);

inline ByteBlock load_block(const char* p) {
  ByteBlock block;
  std::memcpy(&block, p, sizeof block);
  return block;
}

// Lanes that hold anything but printable ASCII (0x20 to 0x7E): adding 1
// moves printable ASCII to 0x21 to 0x7F and everything else to 0x80 to 0x20
// through the wrap, that is to signed values of at most 0x20.
inline ByteTest outside_printable_ascii(ByteBlock bytes) { return std::bit_cast<ByteTest>(ByteBlock(bytes + 1)) < 0x21; }

// Lanes that hold a byte from `first` to `last`, a range narrower than 128:
// the wrapping addition moves `first` to 0x80, the lowest signed value, so
// that one signed comparison bounds the range, where an unsigned one would
// take several instructions of the baseline instruction set.
inline ByteTest bytes_in_range(ByteBlock bytes, std::uint8_t first, std::uint8_t last) {
  const ByteBlock moved = bytes + static_cast<std::uint8_t>(0x80 - first);
  const auto bound = static_cast<std::int8_t>(static_cast<std::uint8_t>(0x80 + (last - first) + 1));
  return std::bit_cast<ByteTest>(moved) < bound;
}

// The sum of the sixteen lanes. The order of the bytes in a word does not
// matter: pairs of lanes are added into 16-bit fields, whose sum the
// multiplication gathers in the top field.
inline std::uint64_t sum_lanes(ByteBlock lanes) {
#if defined(__SSE2__) && defined(__x86_64__)
  // The sums of absolute differences from zero: the sums of each half.
  const __m128i halves = _mm_sad_epu8(std::bit_cast<__m128i>(lanes), _mm_setzero_si128());
  return static_cast<std::uint64_t>(_mm_cvtsi128_si64(halves)) +
         static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(halves, halves)));
#else
  constexpr std::uint64_t low_bytes = 0x00FF00FF00FF00FFULL;
  constexpr std::uint64_t gather = 0x0001000100010001ULL;
  std::uint64_t words[2];
  std::memcpy(words, &lanes, sizeof words);
  std::uint64_t sum = 0;
  for (const std::uint64_t word : words) sum += (((word & low_bytes) + ((word >> 8) & low_bytes)) * gather) >> 48;
  return sum;
#endif
}

// The lanes as sixteen bits, one per lane, the earliest lane lowest.
inline std::uint64_t lane_bits(ByteTest lanes) {
#if defined(__SSE2__)
  return static_cast<std::uint16_t>(_mm_movemask_epi8(std::bit_cast<__m128i>(lanes)));
#else
  // The product gathers the high bits of a word's eight bytes into its top
  // byte, the earliest byte lowest; no two partial products overlap.
  constexpr std::uint64_t high_bits = 0x8080808080808080ULL;
  constexpr std::uint64_t gather = 0x0102040810204080ULL;
  std::uint64_t words[2];
  std::memcpy(words, &lanes, sizeof words);
  std::uint64_t bits = 0;
  for (std::size_t half = 0; half < 2; ++half) {
    std::uint64_t word = words[half];
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    bits |= ((((word & high_bits) >> 7) * gather) >> 56) << (8 * half);
  }
  return bits;
#endif
}

inline constexpr std::size_t chunk_size = 4 * block_size;

// Number of set bits. The baseline x86-64 instruction set has no population
// count, and the library call that std::popcount becomes there costs more
// than these few operations.
inline std::uint64_t count_bits(std::uint64_t bits) {
#if defined(__POPCNT__) || !defined(__x86_64__)
  return static_cast<std::uint64_t>(std::popcount(bits));
#else
  bits -= (bits >> 1) & 0x5555555555555555ULL;
  bits = (bits & 0x3333333333333333ULL) + ((bits >> 2) & 0x3333333333333333ULL);
  bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
  return (bits * 0x0101010101010101ULL) >> 56;
#endif
}

}  // namespace orlenta
