#include "combining_abuse.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

#include "classes/code_point_classes.h"
#include "classes/scripts.h"
#include "normkit/normalize.h"
#include "script_baselines.h"
#include "text/byte_block.h"
#include "text/utf8.h"

namespace orlenta::detect {
namespace {

// Variation selectors are marks by category but choose a glyph; they are
// not diacritics, and piling them up is the reveal's business.
bool is_stacking_mark(char32_t cp) { return is_combining_mark(cp) && !is_variation_selector(cp); }

// The marks of the Basic Multilingual Plane, one bit each, read from
// normkit's data once: most text that has marks is made of letters of the
// same blocks, each of which would otherwise cost a lookup.
struct BmpMarks {
  std::array<std::uint64_t, 0x10000 / 64> bits{};

  BmpMarks() {
    for (char32_t cp = 0x0300; cp < 0x10000; ++cp) {
      if (is_stacking_mark(cp)) bits[cp / 64] |= std::uint64_t{1} << (cp % 64);
    }
  }

  bool counts(char32_t cp) const {
    if (cp < 0x10000) return ((bits[cp / 64] >> (cp % 64)) & 1u) != 0;
    return is_stacking_mark(cp);
  }
};

// Built on first use, not when the module loads: importing orlenta should
// not pay for a detector it may never run.
const BmpMarks& bmp_marks() {
  static const BmpMarks marks;
  return marks;
}

bool takes_zalgo(Script script) { return script == Script::Latn || script == Script::Grek || script == Script::Cyrl; }

// Every mark is at U+0300 or above, so its lead byte is 0xCC or above.
constexpr unsigned char first_mark_lead = 0xCC;

std::size_t next_possible_mark(std::string_view text, std::size_t i) {
  while (i + block_size <= text.size()) {
    const ByteTest high = std::bit_cast<ByteTest>(load_block(text.data() + i) >= first_mark_lead);
    if (const std::uint64_t lanes = lane_bits(high); lanes != 0) return i + static_cast<std::size_t>(__builtin_ctzll(lanes));
    i += block_size;
  }
  while (i < text.size() && static_cast<unsigned char>(text[i]) < first_mark_lead) ++i;
  return i;
}

std::size_t encoded_length(char32_t cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }

struct Stack {
  std::size_t start;  // the base's first byte, or the first mark's without a base
  std::size_t end;
  Script script;
  unsigned marks;
};

// Where the findings of one kind stand, to extend the last one when the
// next stack follows it directly.
struct Stretch {
  std::size_t index = 0;
  bool open = false;
};

void record(std::vector<Finding>& found, Stretch& stretch, FindingKind kind, const Stack& stack, unsigned limit) {
  if (stretch.open && found[stretch.index].end == stack.start) {
    Finding& last = found[stretch.index];
    last.end = stack.end;
    auto& marks = std::get<std::int64_t>(last.evidence[1].value);
    if (stack.marks > marks) marks = stack.marks;
    return;
  }
  const std::size_t index = add_finding(found, {kind,
                                                stack.start,
                                                stack.end,
                                                {{"script", std::string(script_code(stack.script))},
                                                 {"marks", static_cast<std::int64_t>(stack.marks)},
                                                 {"limit", static_cast<std::int64_t>(limit)}}});
  stretch = {index, true};
}

}  // namespace

void find_combining_abuse(std::string_view text, std::vector<Finding>& found) {
  const BmpMarks& marks_table = bmp_marks();
  const auto counts_as_mark = [&marks_table](char32_t cp) { return marks_table.counts(cp); };
  Stretch zalgo;
  Stretch abuse;
  std::size_t i = next_possible_mark(text, 0);
  while (i < text.size()) {
    std::size_t length = 0;
    if (!counts_as_mark(decode_utf8(text.data() + i, length))) {
      i = next_possible_mark(text, i + length);
      continue;
    }
    const std::size_t first_mark = i;
    unsigned marks = 0;
    while (i < text.size()) {
      if (!counts_as_mark(decode_utf8(text.data() + i, length))) break;
      ++marks;
      i += length;
    }
    if (marks > min_mark_limit) {
      Stack stack{first_mark, i, Script::Zyyy, marks};
      if (first_mark > 0) {
        const char32_t base = decode_last_utf8(text.data(), text.data() + first_mark);
        stack.start = first_mark - encoded_length(base);
        stack.script = script_of(base);
      }
      const std::string_view cluster = text.substr(stack.start, stack.end - stack.start);
      if (takes_zalgo(stack.script)) {
        if (count_code_points(normkit::normalize(cluster, normkit::Form::nfc)) != 1) {
          record(found, zalgo, FindingKind::zalgo, stack, min_mark_limit);
        }
      } else if (marks > mark_limit(stack.script)) {
        record(found, abuse, FindingKind::combining_abuse, stack, mark_limit(stack.script));
      }
    }
    i = next_possible_mark(text, i);
  }
}

}  // namespace orlenta::detect
