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

// Byte offset in the block of the earliest byte marked; the mask must mark
// one.
inline std::size_t first_marked(const BlockMask& mask) {
  if (mask.half[0] != 0) return static_cast<std::size_t>(__builtin_ctzll(mask.half[0])) / 8;
  return 8 + static_cast<std::size_t>(__builtin_ctzll(mask.half[1])) / 8;
}

}  // namespace orlenta
