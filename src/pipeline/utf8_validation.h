// Validation of bytes read from a file, which may hold anything.
#pragma once

#include <cstddef>
#include <string_view>

namespace orlenta {

// Offset of the first byte that does not start a well-formed UTF-8 sequence
// (no overlongs, surrogates, code points above U+10FFFF or truncated
// sequences), or bytes.size() when all of it is well formed.
std::size_t first_invalid_utf8(std::string_view bytes);

}  // namespace orlenta
