#include "pipeline/hidden_runs.h"

#include <algorithm>
#include <array>

#include "classes/code_point_classes.h"
#include "classes/emoji_flag_tags.h"

namespace orlenta {
namespace {

constexpr char32_t zero_width_joiner = 0x200D;
constexpr char32_t mongolian_vowel_separator = 0x180E;

// The tags after U+1F3F4 of the three subdivision flags, cancel tag last.
constexpr std::array<std::array<char32_t, 6>, 3> flag_tags = {{
    {0xE0067, 0xE0062, 0xE0065, 0xE006E, 0xE0067, 0xE007F},
    {0xE0067, 0xE0062, 0xE0073, 0xE0063, 0xE0074, 0xE007F},
    {0xE0067, 0xE0062, 0xE0077, 0xE006C, 0xE0073, 0xE007F},
}};

bool alone_is_legitimate(char32_t cp) {
  return is_joiner(cp) || is_variation_selector(cp) || cp == mongolian_vowel_separator;
}

// The selectors of emoji and ideographs, not the Mongolian ones.
bool is_standard_or_ideographic_selector(char32_t cp) {
  return in_range(cp, 0xFE00, 0xFE0F) || in_range(cp, 0xE0100, 0xE01EF);
}

bool is_legitimate(std::span<const char32_t> text, HiddenSpan run) {
  const std::span<const char32_t> symbols = text.subspan(run.start, run.end - run.start);
  if (symbols.size() == 1) return alone_is_legitimate(symbols[0]);
  if (symbols.size() == 2) return is_standard_or_ideographic_selector(symbols[0]) && symbols[1] == zero_width_joiner;
  if (run.start == 0 || text[run.start - 1] != waving_black_flag) return false;
  return std::any_of(flag_tags.begin(), flag_tags.end(),
                     [&](const auto& tags) { return std::equal(symbols.begin(), symbols.end(), tags.begin(), tags.end()); });
}

}  // namespace

bool is_hidden_code_point(char32_t cp) {
  // Printable ASCII, the common case, in one comparison.
  if (in_range(cp, 0x20, 0x7E)) return false;
  return is_control_or_format(cp) || is_default_ignorable(cp) || is_tag_character(cp);
}

std::vector<HiddenSpan> hidden_runs(std::span<const char32_t> text) {
  std::vector<HiddenSpan> runs;
  for (std::size_t i = 0; i < text.size();) {
    if (!is_hidden_code_point(text[i])) {
      ++i;
      continue;
    }
    HiddenSpan run{i, i + 1};
    while (run.end < text.size() && is_hidden_code_point(text[run.end])) ++run.end;
    if (!is_legitimate(text, run)) runs.push_back(run);
    i = run.end;
  }
  return runs;
}

}  // namespace orlenta
