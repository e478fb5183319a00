// Internal: the quick-check scan that the checks and the stream's fast path
// share. It walks over the code points that pass the quick check as they
// stand (Yes starters; Yes non-starters in canonical order) and stops at the
// first other one: a code point that is No or Maybe, a non-starter out of
// order, or an ill-formed byte. Where it does not count code points, blocks
// of sixteen bytes made only of Yes starters are passed with one vector test
// (yes_block.h), an ASCII block with a test of its high bits alone; in the
// rest, ASCII
// goes eight bytes at a time, and code points below the form's first
// non-Yes-starter need no table lookup.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>

#include "normkit/utf8.h"
#include "unicode_data.h"
#include "yes_block.h"


namespace normkit::detail {


struct ScanState {
  const unsigned char* p;         // next code point to look at
  const unsigned char* boundary;  // start of the last Yes starter before p (a segment boundary)
  unsigned prev_ccc;              // class of the code point before p if it is a Yes non-starter, else 0
  std::uint64_t count;            // code points passed so far
};

// Number of code points (lead bytes) in [p, end) of well-formed UTF-8.
inline std::uint64_t count_code_points(const unsigned char* p, const unsigned char* end) {
  std::uint64_t n = 0;
  for (; p < end; ++p) n += (*p & 0xC0) != 0x80;
  return n;
}

// Count: whether ScanState::count is kept.
template <Form F, bool Count = true>
struct Scanner {
  using T = FormTraits<F>;
  static constexpr FormBits kBits = T::bits;

  // Advances s over passing code points that start before limit (limit <= end).
  // Afterwards s.p >= limit, or s.p is the code point where the scan stopped.
  static void advance(ScanState& s, const unsigned char* limit, const unsigned char* end) {
    const unsigned char* p = s.p;
    const unsigned char* boundary = s.boundary;
    unsigned prev_ccc = s.prev_ccc;
    std::uint64_t count = s.count;
    // After a block that the shortcut leaves to the scalar steps, they go on
    // to its end, and in text the shortcut is not made for (other scripts,
    // marks) for twice as many blocks after each further one, up to
    // kMaxScalarBlocks, so that such text pays for few tests. The counting
    // scan of the stream's copy does without it: the stream calls it again
    // after each segment that needs work, which in such text is often.
    constexpr std::size_t kMaxScalarBlocks = 16;
    const unsigned char* scalar_until = p;
    std::size_t scalar_blocks = 1;
    while (p < limit) {
      if constexpr (!Count) {
        if (p >= scalar_until && static_cast<std::size_t>(limit - p) >= kYesBlockSize + kYesBlockReach) {
          // Blocks in a row, each from where the last one ended, while the
          // test may read a whole one before limit.
          const unsigned char* const last_block = limit - (kYesBlockSize + kYesBlockReach);
          for (;;) {
            // Sixteen ASCII bytes, common between the words and emoji of
            // other scripts, pass on their high bits alone, without the
            // classification of the full test.
            if (ascii_block(p)) {
              p += kYesBlockSize;
              boundary = p - 1;
            } else {
              const YesBlock block = test_yes_block<F>(p);
              if (block.doubtful != 0) {
                // Every code point before the first doubtful lane passes.
                const std::uint32_t passed = block.starts & ((block.doubtful & (0u - block.doubtful)) - 1u);
                if (passed != 0) {
                  boundary = p + (31 - std::countl_zero(passed));
                  prev_ccc = 0;
                }
                scalar_until = p + kYesBlockSize * scalar_blocks;
                scalar_blocks = std::min(2 * scalar_blocks, kMaxScalarBlocks);
                p += std::countr_zero(block.doubtful);
                break;
              }
              boundary = p + (31 - std::countl_zero(block.starts));
              p += kYesBlockSize + block.overhang;
            }
            prev_ccc = 0;
            scalar_blocks = 1;
            if (p > last_block) break;
          }
          if (p >= limit) break;
        }
      }
      if (*p < 0x80) {
        // A lone ASCII byte (a space between words of another script) is
        // common enough to test for first.
        const unsigned char* q = p + 1 < limit && p[1] >= 0x80 ? p + 1 : skip_ascii(p + 1, limit);
        if constexpr (Count) count += static_cast<std::uint64_t>(q - p);
        boundary = q - 1;
        prev_ccc = 0;
        p = q;
        continue;
      }
      char32_t cp = 0;
      unsigned length;
      const unsigned b0 = *p;
      if (b0 < 0xE0) {
        const unsigned t1 = p + 1 < end ? p[1] ^ 0x80u : 0xFFu;
        if (__builtin_expect((b0 < 0xC2) | (t1 > 0x3F), 0)) break;
        cp = ((b0 & 0x1F) << 6) | t1;
        length = 2;
      } else if (b0 < 0xF0 && end - p >= 3) {
        const unsigned t1 = p[1] ^ 0x80u, t2 = p[2] ^ 0x80u;
        cp = ((b0 & 0x0F) << 12) | (t1 << 6) | t2;
        if (__builtin_expect(((t1 | t2) > 0x3F) | (cp < 0x800) | (cp - 0xD800 < 0x800), 0)) break;
        length = 3;
      } else {
        length = utf8::decode_valid(p, end, cp);
        if (length == 0) break;
      }
      if (__builtin_expect(cp < 0x10000 && T::yes_starter_bmp(cp), 1)) {
        boundary = p;
        prev_ccc = 0;
      } else if (const std::uint16_t v = props(cp); (v & kBits.yes_starter_mask) == 0) {
        boundary = p;
        prev_ccc = 0;
      } else {
        const unsigned ccc = v & kCccMask;
        if (__builtin_expect(((v & kBits.qc_mask) != 0) | (ccc < prev_ccc), 0)) break;
        prev_ccc = ccc;
      }
      p += length;
      if constexpr (Count) ++count;
    }
    s = ScanState{p, boundary, prev_ccc, count};
  }

  // Whether the code point at s.p, where the scan stopped, is a Maybe starter
  // without decomposition that directly follows the starter at s.boundary and
  // does not compose with it. Then it stays as it is, and nothing after it
  // reaches back past it: the scan may go on from it as from a boundary.
  static bool maybe_starter_stays(const ScanState& s, char32_t cp, std::uint16_t v,
                                  const unsigned char* end) {
    if ((v & (kCccMask | kBits.decomp_bit)) != 0 || ((v >> kBits.qc_shift) & 3) != kQcMaybe) {
      return false;
    }
    char32_t prev;
    const unsigned length = utf8::decode_valid(s.boundary, end, prev);
    return length != 0 && s.boundary + length == s.p && compose(prev, cp) == 0;
  }
};

}  // namespace normkit::detail
