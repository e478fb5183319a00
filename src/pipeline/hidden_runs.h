// Where a text hides something: the search behind orlenta.reveal.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace orlenta {

// Whether some policy's removal pass removes or flags the code point one
// character at a time, but for the line breaks it also removes (carriage
// return, U+2028, U+2029), which a reader sees as such.
bool is_hidden_code_point(char32_t cp);

// A run of hidden code points: offsets in code points, end exclusive.
struct HiddenSpan {
  std::size_t start = 0;
  std::size_t end = 0;
};

// Every maximal run of hidden code points in `text`, in order, but the
// legitimate ones that emoji and many scripts are full of: a lone joiner,
// variation selector or Mongolian format character; a standard or
// ideographic selector followed by a zero width joiner (the middle of an
// emoji ZWJ sequence); and the tags of the England, Scotland and Wales flags
// right after U+1F3F4.
std::vector<HiddenSpan> hidden_runs(std::span<const char32_t> text);

}  // namespace orlenta
