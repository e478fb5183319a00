// The removal pass's shortcut for ordinary code points.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "classes/code_point_classes.h"
#include "classes/emoji_flag_tags.h"
#include "text/block_reader.h"
#include "text/byte_block.h"
#include "text/utf8.h"

namespace orlenta {

// True for the code points in a class and for the flag that starts a
// protected tag sequence; any other code point is simply retained. Written
// as a few ranges, so that the common case costs a few comparisons and
// skips the decision chain.
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

// Whether a code point whose UTF-8 form starts with `lead` may need a
// decision. Those that may: the C0 controls other than tab and line feed,
// DEL, and the code points under the lead bytes of U+0080 to U+00BF (0xC2),
// U+0340 to U+037F (0xCD, for U+034F), U+0600 to U+063F (0xD8, for U+061C),
// U+1000 to U+1FFF (0xE1), U+2000 to U+2FFF (0xE2), U+3000 to U+3FFF
// (0xE3), U+F000 to U+FFFF (0xEF), U+10000 to U+3FFFF (0xF0) and U+C0000 to
// U+FFFFF (0xF3). Every other code point is simply retained, so a walk can
// step over it without decoding it.
constexpr bool lead_may_need_decision(unsigned char lead) {
  if (lead < 0x80) return !is_plain_ascii_byte(lead);
  return lead == 0xC2 || lead == 0xCD || lead == 0xD8 || (lead >= 0xE1 && lead <= 0xE3) || lead == 0xEF ||
         lead == 0xF0 || lead == 0xF3;
}

// Whether the code point that starts at `p` needs a decision; false for a
// continuation byte. The text is valid UTF-8, so a lead byte is followed by
// its continuation bytes.
inline bool starts_decision(const char* p) {
  const auto byte = static_cast<unsigned char>(*p);
  if ((byte & 0xC0u) == 0x80u || !lead_may_need_decision(byte)) return false;
  std::size_t length = 0;
  return needs_decision(decode_utf8(p, length));
}

// The first code point that needs a decision among the `lanes` of the
// block of `bytes` read from `block`, or nullptr. Only the lead bytes of
// lead_may_need_decision are candidates; each is decoded from the text.
inline const char* first_decision(const char* block, ByteBlock bytes, std::uint64_t lanes) {
  const ByteTest controls = (bytes < 0x20) & (bytes != '\t') & (bytes != '\n');
  const ByteTest leads = (bytes == 0x7F) | (bytes == 0xC2) | (bytes == 0xCD) | (bytes == 0xD8) |
                          ((bytes >= 0xE1) & (bytes <= 0xE3)) | (bytes == 0xEF) | (bytes == 0xF0) | (bytes == 0xF3);
  for (std::uint64_t candidates = lane_bits(controls | leads) & lanes; candidates != 0; candidates &= candidates - 1) {
    const char* const at = block + std::countr_zero(candidates);
    if (starts_decision(at)) return at;
  }
  return nullptr;
}

// Length of the stretch from `p` that consists of whole code points that
// need no decision: it ends at the first code point for which
// needs_decision holds, or at `end`. Sixteen bytes are tested at once. The
// lead bytes of the decided code points also begin curly quotes, dashes,
// guillemets and whole scripts (U+1000 to U+1FFF under 0xE1, Hiragana and
// Katakana under 0xE3), so the code point of each such lead byte in a block
// is decoded and settled here, and the walk stops only where a decision is
// due.
inline std::size_t undecided_run_length(const char* p, const char* end) {
  BlockReader<block_size> reader{p, end};
  for (; reader.has_full_block(); reader.advance()) {
    const ByteBlock bytes = load_block(reader.block());
    // Printable ASCII, the common case, is settled with one comparison.
    if (lane_bits(outside_printable_ascii(bytes)) == 0) continue;
    if (const char* const at = first_decision(reader.block(), bytes, ~std::uint64_t{0})) return static_cast<std::size_t>(at - p);
  }
  const auto last = reader.remainder();
  const char* const at = first_decision(reader.block(), load_block(last.bytes.data()), last.text_lanes());
  return static_cast<std::size_t>((at != nullptr ? at : end) - p);
}

}  // namespace orlenta
