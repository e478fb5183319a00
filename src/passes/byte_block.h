// Sixteen bytes at once, for the scans that look for a few kinds of bytes.
//
// A block is a vector of sixteen byte lanes (a GCC and Clang extension),
// which the compiler maps onto the machine's vector instructions: SSE2 on
// x86-64, NEON on ARM. A comparison yields all bits set in the lanes where
// it holds.
// Results come back as two 64-bit masks that hold, in the high bit of each
// byte, whether the lane's test held, the earliest byte lowest, so that
// shifts move towards later bytes and the lowest set bit belongs to the
// earliest byte.
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

inline constexpr std::uint64_t byte_high_bits = 0x8080808080808080ULL;

inline ByteBlock load_block(const char* p) {
  ByteBlock block;
  std::memcpy(&block, p, sizeof block);
  return block;
}

// Lanes that hold anything but printable ASCII (0x20 to 0x7E): adding 1
// moves printable ASCII to 0x21 to 0x7F and everything else to 0x80 to 0x20
// through the wrap, that is to signed values of at most 0x20.
inline ByteTest outside_printable_ascii(ByteBlock bytes) { return std::bit_cast<ByteTest>(ByteBlock(bytes + 1)) < 0x21; }

struct BlockMask {
  std::uint64_t half[2];
};

// The lanes as two 64-bit words, the earliest byte lowest.
inline BlockMask to_words(ByteTest lanes) {
  BlockMask words;
  std::memcpy(words.half, &lanes, sizeof words.half);
  if constexpr (std::endian::native == std::endian::big) {
    for (std::uint64_t& half : words.half) half = __builtin_bswap64(half);
  }
  return words;
}

inline BlockMask to_mask(ByteTest lanes) {
  BlockMask mask = to_words(lanes);
  for (std::uint64_t& half : mask.half) half &= byte_high_bits;
  return mask;
}

inline bool any_marked(const BlockMask& mask) { return (mask.half[0] | mask.half[1]) != 0; }

// The lanes as sixteen bits, one per lane, the earliest lane lowest: the
// form for scans that look at 64 bytes at once, whose masks then have one
// bit per byte.
inline std::uint64_t lane_bits(ByteTest lanes) {
#if defined(__SSE2__)
  return static_cast<std::uint16_t>(_mm_movemask_epi8(std::bit_cast<__m128i>(lanes)));
#else
  // The product gathers the high bits of a word's eight bytes into its top
  // byte, the earliest byte lowest; no two partial products overlap.
  constexpr std::uint64_t gather = 0x0102040810204080ULL;
  const BlockMask mask = to_mask(lanes);
  return (((mask.half[0] >> 7) * gather) >> 56) | ((((mask.half[1] >> 7) * gather) >> 56) << 8);
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

// Byte offset in the block of the earliest byte marked; the mask must mark
// one.
inline std::size_t first_marked(const BlockMask& mask) {
  if (mask.half[0] != 0) return static_cast<std::size_t>(__builtin_ctzll(mask.half[0])) / 8;
  return 8 + static_cast<std::size_t>(__builtin_ctzll(mask.half[1])) / 8;
}

}  // namespace orlenta
