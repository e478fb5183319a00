// What the entropy count learns about the sanitized output as a whole, for
// the scans after it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace orlenta {

// Facts of the whole text, known once the entropy's prefix took in all of
// it, as a chat message's does: a scan that only needs them is then settled
// without reading the text again.
struct TextCensus {
  // The rest is only set when true.
  bool whole_text = false;
  std::uint64_t code_points = 0;
  // Bit b set when the byte 0xC0 + b occurs: the lead bytes of the code
  // points outside ASCII.
  std::uint64_t lead_bytes = 0;
  // The bytes from '0' to 'Z': the digits, the upper-case letters and the
  // seven signs between them, of which a wrapped blob needs a share.
  std::uint64_t digit_to_upper_bytes = 0;
  // The distinct code points outside ASCII, in no particular order, when
  // there are no more than `max_distinct` of them, as in a message whose
  // only other characters are a few emoji; `distinct_size` is then at most
  // that. Those from U+1F000 to U+1FFFF (the emoji, the regional indicators
  // and other pictographs, all of which break a stack of marks) are left
  // out: the entropy counts them apart, and listing them would only lengthen
  // the list.
  static constexpr std::size_t max_distinct = 64;
  bool distinct_listed = false;
  std::size_t distinct_size = 0;
  std::array<char32_t, max_distinct> distinct;
};

}  // namespace orlenta
