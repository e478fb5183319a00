#include "python/str_source.h"

#include <cstdint>
#include <string_view>
#include <utility>

#include "text/utf8.h"
#include "text/utf8_convert.h"

namespace orlenta {
namespace {

// Texts of fewer code points keep the plain UTF-8 path: for a chat message
// the extra pass would cost more than the lock time it saves.
constexpr std::uint64_t large_length = std::uint64_t{1} << 16;

}  // namespace

StrSource prepare_str_source(std::string&& utf8) {
  StrSource source{.bytes = std::move(utf8), .latin1 = false};
  const std::string_view text = source.bytes;
  if (text.size() < large_length) return source;
  // ASCII is a copy for CPython already.
  const unsigned char highest = highest_byte(text);
  if (highest < 0x80 || highest > latin1_highest_byte || count_code_points(text) < large_length) return source;
  source.bytes.resize(utf8_to_latin1(text, source.bytes.data()));
  source.latin1 = true;
  return source;
}

PyObject* str_from_source(const StrSource& source) {
  const auto size = static_cast<Py_ssize_t>(source.bytes.size());
  if (source.latin1) return PyUnicode_DecodeLatin1(source.bytes.data(), size, nullptr);
  return PyUnicode_FromStringAndSize(source.bytes.data(), size);
}

}  // namespace orlenta
