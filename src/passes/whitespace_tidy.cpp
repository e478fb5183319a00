#include "passes/whitespace_tidy.h"

#include <algorithm>
#include <array>

#include "passes/utf8.h"

namespace orlenta {
namespace {

// The space separators other than U+0020, sorted.
constexpr std::array<char32_t, 16> wide_spaces = {
    0x00A0, 0x1680, 0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005,
    0x2006, 0x2007, 0x2008, 0x2009, 0x200A, 0x202F, 0x205F, 0x3000,
};

void trim_trailing(std::string& text, char byte) {
  const std::size_t keep = text.find_last_not_of(byte);
  text.resize(keep == std::string::npos ? 0 : keep + 1);
}

}  // namespace

bool is_horizontal_whitespace(char32_t cp) {
  if (cp == ' ' || cp == '\t') return true;
  return cp >= wide_spaces.front() && std::binary_search(wide_spaces.begin(), wide_spaces.end(), cp);
}

void run_whitespace_tidy(std::string& output, SanitizeReport& report, bool& changed) {
  std::string tidied;
  tidied.reserve(output.size());
  bool last_was_space = false;
  bool at_line_start = false;
  const char* const end = output.data() + output.size();
  for (const char* p = output.data(); p < end;) {
    std::size_t length = 0;
    const char32_t cp = decode_utf8(p, length);
    if (is_horizontal_whitespace(cp)) {
      if (!at_line_start && !last_was_space) {
        tidied.push_back(' ');
        last_was_space = true;
      }
    } else if (cp == '\n') {
      if (!tidied.empty() && tidied.back() == ' ') tidied.pop_back();
      tidied.push_back('\n');
      at_line_start = true;
      last_was_space = false;
    } else {
      tidied.append(p, length);
      at_line_start = false;
      last_was_space = false;
    }
    p += length;
  }
  tidied.erase(0, std::min(tidied.find_first_not_of(' '), tidied.size()));
  trim_trailing(tidied, ' ');
  trim_trailing(tidied, '\n');

  if (tidied == output) return;
  const std::uint64_t before = count_code_points(output);
  const std::uint64_t after = count_code_points(tidied);
  bump_removed(report, "whitespace_tidy", before > after ? before - after : 1);
  changed = true;
  output = std::move(tidied);
}

}  // namespace orlenta
