#include "pipeline/utf8_validation.h"

#include "normkit/utf8.h"
#include "text/utf8.h"

namespace orlenta {

std::size_t first_invalid_utf8(std::string_view bytes) {
  const auto* const begin = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = begin + bytes.size();
  const auto* p = begin;
  while (p < end) {
    // Source files are mostly ASCII: eight bytes at a time until a byte
    // from 0x80 up.
    while (end - p >= 8 && (load_unaligned_word(reinterpret_cast<const char*>(p)) & word_high_bits) == 0) p += 8;
    if (p == end) break;
    if (*p < 0x80) {
      ++p;
      continue;
    }
    char32_t cp = 0;
    const unsigned length = normkit::utf8::decode_valid(p, end, cp);
    if (length == 0) return static_cast<std::size_t>(p - begin);
    p += length;
  }
  return bytes.size();
}

}  // namespace orlenta
