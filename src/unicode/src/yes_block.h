// Internal: the quick-check scan's shortcut over sixteen bytes at once.
//
// Most text outside ASCII is made of code points that pass the quick check
// as they stand: letters of the common scripts, CJK, Hangul syllables,
// symbols and emoji. A block of sixteen bytes whose every code point is a
// quick-check-Yes starter and well-formed is passed over with one vector
// test, where the scalar scan decodes and looks up each code point. The
// test is spelled out on the lead byte and the continuation bytes after it
// (the code points under a lead, or under a lead and its first continuation
// byte, that are all Yes starters in the form); everything else (marks,
// composition exclusions, compatibility characters in NFKC, ill-formed
// bytes) is left to the scalar scan, so the test may be stricter than the
// properties but never looser. It uses the vector extension of GCC and
// Clang, which maps onto SSE2 on x86-64 and NEON on ARM.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "normkit/normalize.h"

namespace normkit::detail {

using Bytes16 = std::uint8_t __attribute__((vector_size(16)));
using Lanes16 = std::int8_t __attribute__((vector_size(16)));

inline constexpr unsigned kYesBlockSize = 16;
// Bytes the test reads past the block: a lead's three continuation bytes at most.
inline constexpr unsigned kYesBlockReach = 3;

inline Bytes16 load16(const unsigned char* p) {
  Bytes16 block;
  std::memcpy(&block, p, sizeof block);
  return block;
}

// One bit per lane where the test holds, the earliest lane lowest.
inline std::uint32_t lane_mask(Lanes16 lanes) {
  std::uint32_t mask = 0;
#if defined(__SSE2__)
  mask = static_cast<std::uint32_t>(__builtin_ia32_pmovmskb128(std::bit_cast<__attribute__((vector_size(16))) char>(lanes)));
#else
  std::int8_t bytes[16];
  std::memcpy(bytes, &lanes, sizeof bytes);
  for (unsigned lane = 0; lane < 16; ++lane) mask |= static_cast<std::uint32_t>(bytes[lane] < 0) << lane;
#endif
  return mask;
}

// Lanes where `bytes` lies in [first, last].
inline Lanes16 in16(Bytes16 bytes, std::uint8_t first, std::uint8_t last) {
  return Bytes16(bytes - first) <= static_cast<std::uint8_t>(last - first);
}

// Whether the sixteen bytes at p are all ASCII.
inline bool ascii_block(const unsigned char* p) { return lane_mask(std::bit_cast<Lanes16>(load16(p))) == 0; }

// What the test found in the block at p: where its code points start and
// which of its bytes are not shown to be part of a Yes starter.
struct YesBlock {
  std::uint32_t starts;  // lanes where a code point starts
  std::uint32_t doubtful;  // lanes the scalar scan must look at (0: the whole block passes)
  unsigned overhang;       // bytes past the block that the last code point takes
};

// Reads kYesBlockSize + kYesBlockReach bytes from p, which starts a code
// point (or holds an ill-formed byte).
template <Form F>
inline YesBlock test_yes_block(const unsigned char* p) {
  const Bytes16 b0 = load16(p), b1 = load16(p + 1), b2 = load16(p + 2), b3 = load16(p + 3);
  const Lanes16 ascii = b0 < 0x80;
  // Read as signed, bytes from 0x80 up are negative: the continuation bytes
  // are those below -64 (0xC0), and the tests of a byte that is known to be
  // one need only one side.
  const Lanes16 s1 = std::bit_cast<Lanes16>(b1), s2 = std::bit_cast<Lanes16>(b2);
  const Lanes16 c1 = s1 < -64, c2 = s2 < -64, c3 = std::bit_cast<Lanes16>(b3) < -64;
  Lanes16 two, three, four;
  if constexpr (F == Form::nfc) {
    // U+0080..02FF; U+0400..047F (Cyrillic).
    two = in16(b0, 0xC2, 0xCB) | in16(b0, 0xD0, 0xD1);
    // U+2002..207F (spaces, invisibles, dashes, quotes), U+2340..2ABF
    // (symbols, dingbats); U+4000..9FFF (CJK); U+FE00..FE0F.
    three = ((b0 == 0xE2) & (((b1 == 0x80) & (s2 > -127)) | (b1 == 0x81) | in16(b1, 0x8D, 0xAA))) |
            in16(b0, 0xE4, 0xE9) |
            ((b0 == 0xEF) & (b1 == 0xB8) & (s2 < -112));
    // U+1F000..1FFFF (emoji); U+C0000..FFFFF (tags and selectors among them).
    four = ((b0 == 0xF0) & (b1 == 0x9F)) | (b0 == 0xF3);
  } else {
    // U+0400..047F.
    two = in16(b0, 0xD0, 0xD1);
    // U+200B..2010, U+2027..202E, U+2060..206F; U+2500..29FF; U+4000..9FFF;
    // U+FE00..FE0F.
    three = ((b0 == 0xE2) & (((b1 == 0x80) & (in16(b2, 0x8B, 0x90) | in16(b2, 0xA7, 0xAE))) |
                             ((b1 == 0x81) & in16(b2, 0xA0, 0xAF)) | in16(b1, 0x94, 0xA7))) |
            in16(b0, 0xE4, 0xE9) | ((b0 == 0xEF) & (b1 == 0xB8) & (s2 < -112));
    four = b0 == 0xF3;
  }
  const std::uint32_t leads2 = lane_mask(two & c1);
  const std::uint32_t leads3 = lane_mask(three & c1 & c2);
  const std::uint32_t leads4 = lane_mask(four & c1 & c2 & c3);
  // The continuation bytes the leads were shown to have, up to three lanes
  // past the block.
  const std::uint32_t taken = ((leads2 | leads3 | leads4) << 1) | ((leads3 | leads4) << 2) | (leads4 << 3);
  const std::uint32_t starts = lane_mask(ascii) | leads2 | leads3 | leads4;
  return YesBlock{starts, ~(starts | taken) & 0xFFFFu,
                  static_cast<unsigned>(std::countr_one(taken >> kYesBlockSize))};
}

}  // namespace normkit::detail
