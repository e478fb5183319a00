#include "zero_width_runs.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "text/utf8.h"
#include "zero_width.h"

namespace orlenta::detect {
namespace {

constexpr std::array<char32_t, 7> zero_width_code_points = {0x200B, 0x200C, 0x200D, 0x2060, 0x2062, 0x2064, 0xFEFF};

// The bit of a zero-width code point in an alphabet, in the order above.
unsigned alphabet_bit(char32_t cp) {
  unsigned index = 0;
  while (zero_width_code_points[index] != cp) ++index;
  return 1u << index;
}

std::string alphabet_text(unsigned alphabet) {
  std::string text;
  for (std::size_t i = 0; i < zero_width_code_points.size(); ++i) {
    if ((alphabet >> i & 1u) == 0) continue;
    char name[8];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(zero_width_code_points[i]));
    if (!text.empty()) text += ' ';
    text += name;
  }
  return text;
}

}  // namespace

void find_zero_width_runs(std::string_view text, std::vector<Finding>& found) {
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  for (const char* p = find_zero_width(begin, end); p != end; p = find_zero_width(p, end)) {
    const char* const start = p;
    std::int64_t length = 0;
    unsigned alphabet = 0;
    for (std::size_t size = 0; p != end; p += size) {
      const char32_t cp = decode_utf8(p, size);
      if (!is_zero_width(cp)) break;
      ++length;
      alphabet |= alphabet_bit(cp);
    }
    if (length < 2) continue;
    add_finding(found, {FindingKind::zero_width_run,
                     static_cast<std::size_t>(start - begin),
                     static_cast<std::size_t>(p - begin),
                     {{"length", length}, {"alphabet", alphabet_text(alphabet)}}});
  }
}

}  // namespace orlenta::detect
