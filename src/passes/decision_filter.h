// The removal pass's shortcut for ordinary code points.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "classes/code_point_classes.h"
#include "classes/emoji_flag_tags.h"
#include "text/block_reader.h"
#include "text/byte_block.h"

namespace orlenta {

// True for the code points in a class and for the flag that starts a
// protected tag sequence; any other code point is simply retained. The
// reference that decision_lanes follows byte by byte.
constexpr bool needs_decision(char32_t cp) {
  if (cp < 0xA0) {
    return cp < 0x20 ? (cp != '\t' && cp != '\n') : cp >= 0x7F;
  }
  if (cp < 0x2000) {
    return cp == 0x00AD || cp == 0x034F || cp == 0x061C || in_range(cp, 0x115F, 0x1160) ||
           in_range(cp, 0x17B4, 0x17B5) || in_range(cp, 0x180B, 0x180F);
  }
  if (cp < 0x2070) {
    // The dashes, quotes and other punctuation of U+2010 to U+2027 and
    // U+202F to U+205F belong to no class; prose is full of them.
    return in_range(cp, 0x200B, 0x200F) || in_range(cp, 0x2028, 0x202E) || cp >= 0x2060;
  }
  if (cp <= 0xFFFF) {
    return cp == 0x3164 || in_range(cp, 0xFE00, 0xFE0F) || cp == 0xFEFF || cp == 0xFFA0 ||
           in_range(cp, 0xFFF0, 0xFFFB);
  }
  return in_range(cp, 0xE0000, 0xE0FFF) || cp == waving_black_flag || in_range(cp, 0x1BCA0, 0x1BCA3) ||
         in_range(cp, 0x1D173, 0x1D17A);
}

// Lanes where `bytes` lies in [first, last], unsigned.
inline ByteTest within(ByteBlock bytes, std::uint8_t first, std::uint8_t last) {
  return ByteBlock(bytes - first) <= static_cast<std::uint8_t>(last - first);
}

// The bytes that a block's decision test reads after its sixteen lanes: a
// code point's lead byte is settled together with its three continuation
// bytes at most.
inline constexpr std::size_t decision_reach = 3;

// The lanes of the block at `p` where a code point that needs a decision
// starts, one bit per lane, the earliest lowest: exactly needs_decision,
// spelled out on the UTF-8 bytes of its ranges. Reads decision_reach bytes
// past the block. The lead bytes of the decided code points also begin curly
// quotes, dashes, emoji and whole scripts, so each lead is tested together
// with the continuation bytes that tell them apart; no lane needs decoding.
// Continuation bytes never equal a tested lead, so only lead lanes are set.
inline std::uint64_t decision_lanes(const char* p) {
  const ByteBlock b0 = load_block(p);
  // C0 controls but tab and line feed, and DEL.
  const ByteTest controls = ((b0 < 0x20) & (b0 != '\t') & (b0 != '\n')) | (b0 == 0x7F);
  const ByteTest leads = (b0 == 0xC2) | (b0 == 0xCD) | (b0 == 0xD8) | within(b0, 0xE1, 0xE3) | (b0 == 0xEF) |
                         (b0 == 0xF0) | (b0 == 0xF3);
  // Most text outside ASCII has none of these leads: Latin letters with
  // accents, Greek, Cyrillic, CJK.
  if (lane_bits(leads) == 0) return lane_bits(controls);
  const ByteBlock b1 = load_block(p + 1);
  const ByteBlock b2 = load_block(p + 2);
  const ByteBlock b3 = load_block(p + 3);
  // U+0080..009F and U+00AD.
  const ByteTest latin1 = (b0 == 0xC2) & ((b1 <= 0x9F) | (b1 == 0xAD));
  // U+200B..200F, U+2028..202E, U+2060..206F; U+3164.
  const ByteTest under_e2_e3 =
      ((b0 == 0xE2) & (((b1 == 0x80) & (within(b2, 0x8B, 0x8F) | within(b2, 0xA8, 0xAE))) |
                       ((b1 == 0x81) & within(b2, 0xA0, 0xAF)))) |
      ((b0 == 0xE3) & (b1 == 0x85) & (b2 == 0xA4));
  // U+FE00..FE0F, U+FEFF, U+FFA0, U+FFF0..FFFB.
  const ByteTest under_ef = (b0 == 0xEF) & (((b1 == 0xB8) & (b2 <= 0x8F)) | ((b1 == 0xBB) & (b2 == 0xBF)) |
                                            ((b1 == 0xBE) & (b2 == 0xA0)) | ((b1 == 0xBF) & within(b2, 0xB0, 0xBB)));
  // The waving black flag, which every other emoji under F0 9F is told
  // apart from; U+E0000..E0FFF.
  const ByteTest flag_and_tags =
      ((b0 == 0xF0) & (b1 == 0x9F) & (b2 == 0x8F) & (b3 == 0xB4)) | ((b0 == 0xF3) & (b1 == 0xA0));
  ByteTest decided = controls | latin1 | under_e2_e3 | under_ef | flag_and_tags;
  // The leads of the rest are rare in text: they are tested only in the
  // blocks that hold them.
  const ByteTest rare_leads = (b0 == 0xCD) | (b0 == 0xD8) | (b0 == 0xE1) |
                              ((b0 == 0xF0) & ((b1 == 0x9B) | (b1 == 0x9D)));
  if (lane_bits(rare_leads) != 0) {
    // U+034F; U+061C; U+115F..1160, U+17B4..17B5, U+180B..180F;
    // U+1BCA0..1BCA3, U+1D173..1D17A.
    decided |= ((b0 == 0xCD) & (b1 == 0x8F)) | ((b0 == 0xD8) & (b1 == 0x9C)) |
               ((b0 == 0xE1) & (((b1 == 0x85) & within(b2, 0x9F, 0xA0)) | ((b1 == 0x9E) & within(b2, 0xB4, 0xB5)) |
                                ((b1 == 0xA0) & within(b2, 0x8B, 0x8F)))) |
               ((b0 == 0xF0) & (((b1 == 0x9B) & (b2 == 0xB2) & within(b3, 0xA0, 0xA3)) |
                                ((b1 == 0x9D) & (b2 == 0x85) & within(b3, 0xB3, 0xBA))));
  }
  return lane_bits(decided);
}

// The lanes of the block at `p` where a code point that needs a decision
// starts; printable ASCII is settled by its first test.
inline std::uint64_t block_decision_lanes(const char* p) {
  return lane_bits(outside_printable_ascii(load_block(p))) == 0 ? 0 : decision_lanes(p);
}

// The lanes of the chunk_size bytes at `p`, block after block.
inline std::uint64_t chunk_decision_lanes(const char* p) {
  std::uint64_t lanes = 0;
  for (std::size_t block = 0; block < chunk_size / block_size; ++block) {
    lanes |= block_decision_lanes(p + block * block_size) << (block * block_size);
  }
  return lanes;
}

// Calls `decide(at)` for every code point of [p, end) that needs a decision,
// in text order, with a pointer to its first byte; stops early, returning
// false, when `decide` does. The text is valid UTF-8. Stretches of printable
// ASCII are passed over sixteen bytes at a time, and every decision of a
// block comes from one test of it, however dense they are. The decisions are
// handed out a chunk of four blocks at a time: in hostile text the number in
// a block is anyone's guess, and the loop over them ends once per chunk
// rather than once per block. `decide` may write over any byte before the
// end of the code point at `at`: each chunk is tested before the decisions
// of the chunk before it, which reach at most decision_reach bytes into it,
// and the last bytes are tested in a copy.
template <typename Decide>
[[gnu::always_inline]] inline bool for_each_decision(const char* p, const char* end, Decide&& decide) {
  const auto settle = [&decide](const char* chunk, std::uint64_t lanes) __attribute__((always_inline)) {
    for (; lanes != 0; lanes &= lanes - 1) {
      if (!decide(chunk + std::countr_zero(lanes))) return false;
    }
    return true;
  };
  // The chunk tested last, whose decisions are still to be made.
  const char* tested = p;
  std::uint64_t tested_lanes = 0;
  BlockReader<chunk_size, decision_reach> reader{p, end};
  for (; reader.has_full_block(); reader.advance()) {
    const char* const chunk = reader.block();
    const std::uint64_t lanes = chunk_decision_lanes(chunk);
    if (!settle(tested, tested_lanes)) return false;
    tested = chunk;
    tested_lanes = lanes;
  }
  // The rest, fewer than chunk_size + decision_reach bytes, is tested in a
  // padded copy, in blocks; its lanes point back into the text, a chunk's
  // worth in each word.
  constexpr std::size_t rest_blocks = (chunk_size + decision_reach + block_size - 1) / block_size;
  std::array<char, rest_blocks * block_size + decision_reach> padded{};
  const char* const rest = reader.block();
  const std::size_t size = static_cast<std::size_t>(end - rest);
  if (size != 0) std::memcpy(padded.data(), rest, size);
  std::array<std::uint64_t, 2> rest_lanes{};
  for (std::size_t block = 0; block * block_size < size; ++block) {
    const std::size_t text_lanes = size - block * block_size;
    const std::uint64_t in_text = text_lanes >= block_size ? 0xFFFF : (std::uint64_t{1} << text_lanes) - 1;
    const std::size_t in_chunk = block % (chunk_size / block_size);
    rest_lanes[block / (chunk_size / block_size)] |=
        (decision_lanes(padded.data() + block * block_size) & in_text) << (in_chunk * block_size);
  }
  return settle(tested, tested_lanes) && settle(rest, rest_lanes[0]) && settle(rest + chunk_size, rest_lanes[1]);
}

}  // namespace orlenta
