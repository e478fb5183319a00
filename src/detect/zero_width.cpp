#include "zero_width.h"

#include <bit>
#include <cstdint>

#include "text/block_reader.h"
#include "text/byte_block.h"
#include "text/utf8.h"

namespace orlenta::detect {
namespace {

// The first zero-width code point among the `lanes` of the block of
// `bytes` read from `block`, or nullptr. A lead byte is followed by its
// continuation bytes in valid UTF-8, so the decode reads inside the text
// even for a lead byte in the last lane.
const char* first_zero_width(const char* block, ByteBlock bytes, std::uint64_t lanes) {
  for (std::uint64_t leads = lane_bits((bytes == 0xE2) | (bytes == 0xEF)) & lanes; leads != 0; leads &= leads - 1) {
    const char* const at = block + std::countr_zero(leads);
    std::size_t length = 0;
    if (is_zero_width(decode_utf8(at, length))) return at;
  }
  return nullptr;
}

}  // namespace

const char* find_zero_width(const char* p, const char* end) {
  BlockReader<block_size> reader{p, end};
  for (; reader.has_full_block(); reader.advance()) {
    if (const char* const at = first_zero_width(reader.block(), load_block(reader.block()), ~std::uint64_t{0})) {
      return at;
    }
  }
  const auto last = reader.remainder();
  const char* const at = first_zero_width(reader.block(), load_block(last.bytes.data()), last.text_lanes());
  return at != nullptr ? at : end;
}

}  // namespace orlenta::detect
