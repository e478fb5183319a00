// The fixed classes checked over the whole code space: their sizes, the
// Unicode properties they are meant to equal, and which code points lie in
// more than one class.
#include "classes/code_point_classes.h"

#include <bit>
#include <cstdint>
#include <sstream>

#include <gtest/gtest.h>

#include "ucd_data.h"

namespace orlenta {
namespace {

using test::code_space_size;
using test::CodePointSet;
using test::read_property;
using test::ucd_dir;

enum ClassBit : std::uint16_t {
  carriage_return = 1 << 0,
  line_separator = 1 << 1,
  bidi_control = 1 << 2,
  bidi_mark = 1 << 3,
  tag_character = 1 << 4,
  variation_selector = 1 << 5,
  junk_invisible = 1 << 6,
  control_or_format = 1 << 7,
  default_ignorable = 1 << 8,
  joiner = 1 << 9,
  combining_mark = 1 << 10,
};

struct CodePointClass {
  ClassBit bit;
  const char* name;
  bool (*contains)(char32_t);
  std::size_t size;
};

constexpr CodePointClass classes[] = {
    {carriage_return, "carriage return", is_carriage_return, 1},
    {line_separator, "line separator", is_line_separator, 2},
    {bidi_control, "bidi control", is_bidi_control, 9},
    {bidi_mark, "bidi mark", is_bidi_mark, 3},
    {tag_character, "tag character", is_tag_character, 256},
    {variation_selector, "variation selector", is_variation_selector, 260},
    {junk_invisible, "junk invisible", is_junk_invisible, 3},
    {control_or_format, "control or format", is_control_or_format, 89},
    {default_ignorable, "default ignorable", is_default_ignorable, 4174},
    {joiner, "joiner", is_joiner, 2},
    {combining_mark, "combining mark", is_combining_mark, 2543},
};

bool is_surrogate(char32_t cp) { return cp >= 0xD800 && cp <= 0xDFFF; }

// The classes of every scalar value, one bit per class; computed once.
const std::vector<std::uint16_t>& class_masks() {
  static const std::vector<std::uint16_t> masks = [] {
    std::vector<std::uint16_t> result(code_space_size);
    for (char32_t cp = 0; cp < code_space_size; ++cp) {
      if (is_surrogate(cp)) {
        continue;
      }
      for (const CodePointClass& c : classes) {
        if (c.contains(cp)) {
          result[cp] |= c.bit;
        }
      }
    }
    return result;
  }();
  return masks;
}

std::string hex(char32_t cp) {
  std::ostringstream out;
  out << "U+" << std::uppercase << std::hex << static_cast<std::uint32_t>(cp);
  return out.str();
}

std::string class_names(std::uint16_t mask) {
  std::string names;
  for (const CodePointClass& c : classes) {
    if ((mask & c.bit) != 0) {
      names += std::string(names.empty() ? "" : " + ") + c.name;
    }
  }
  return names.empty() ? "no class" : names;
}

// Code points where "has any of the classes in `bits`" and `expected`
// disagree, the first few of them, for a readable failure message.
std::string disagreements(std::uint16_t bits, const CodePointSet& expected) {
  std::string listed;
  int count = 0;
  for (char32_t cp = 0; cp < code_space_size; ++cp) {
    if (!is_surrogate(cp) && ((class_masks()[cp] & bits) != 0) != expected[cp] && ++count <= 10) {
      listed += hex(cp) + (expected[cp] ? " missing, " : " extra, ");
    }
  }
  return count == 0 ? "" : std::to_string(count) + " disagreements: " + listed;
}

TEST(CodePointClasses, HaveTheirSizes) {
  for (const CodePointClass& c : classes) {
    std::size_t size = 0;
    for (const std::uint16_t mask : class_masks()) {
      size += (mask & c.bit) != 0;
    }
    EXPECT_EQ(size, c.size) << c.name;
  }
}

// Every code point in two or more classes, with all of its classes; any
// other code point is in at most one.
TEST(CodePointClasses, OverlapOnlyWhereIntended) {
  struct Overlap {
    char32_t first;
    char32_t last;
    std::uint16_t classes;
  };
  constexpr Overlap overlaps[] = {
      {0x034F, 0x034F, default_ignorable | combining_mark},
      {0x061C, 0x061C, bidi_mark | default_ignorable},
      {0x17B4, 0x17B5, default_ignorable | combining_mark},
      {0x180B, 0x180D, variation_selector | default_ignorable | combining_mark},
      {0x180F, 0x180F, variation_selector | default_ignorable | combining_mark},
      {0x200B, 0x200B, junk_invisible | control_or_format | default_ignorable},
      {0x200C, 0x200D, joiner | default_ignorable},
      {0x200E, 0x200F, bidi_mark | control_or_format | default_ignorable},
      {0x202A, 0x202E, bidi_control | control_or_format | default_ignorable},
      {0x2060, 0x2060, junk_invisible | control_or_format | default_ignorable},
      {0x2061, 0x2065, control_or_format | default_ignorable},
      {0x2066, 0x2069, bidi_control | control_or_format | default_ignorable},
      {0x206A, 0x206F, control_or_format | default_ignorable},
      {0xFE00, 0xFE0F, variation_selector | default_ignorable | combining_mark},
      {0xFEFF, 0xFEFF, junk_invisible | default_ignorable},
      {0xE0000, 0xE00FF, tag_character | default_ignorable},
      {0xE0100, 0xE01EF, variation_selector | default_ignorable | combining_mark},
  };
  std::vector<std::uint16_t> expected(code_space_size, 0);
  for (const Overlap& overlap : overlaps) {
    for (char32_t cp = overlap.first; cp <= overlap.last; ++cp) {
      expected[cp] = overlap.classes;
    }
  }
  std::string wrong;
  for (char32_t cp = 0; cp < code_space_size; ++cp) {
    const std::uint16_t actual = class_masks()[cp];
    const bool as_listed = expected[cp] != 0 ? actual == expected[cp] : std::popcount(actual) <= 1;
    if (!as_listed && wrong.size() < 200) {
      wrong += hex(cp) + " is " + class_names(actual) + "; ";
    }
  }
  EXPECT_EQ(wrong, "");
}

using CodePointClassesVsUcd = test::UcdTest;

// Each class, or union of classes, against the Unicode property it stands
// for. The control-or-format class has no property of its own; it is the C0
// and C1 controls other than tab, line feed and carriage return, the
// default-ignorables of General Punctuation other than the joiners, and the
// format characters of the Specials block.
TEST_F(CodePointClassesVsUcd, MatchTheUnicodeProperties) {
  const auto core = ucd_dir() / "DerivedCoreProperties.txt";
  const auto props = ucd_dir() / "PropList.txt";
  const auto categories = ucd_dir() / "extracted" / "DerivedGeneralCategory.txt";

  const CodePointSet ignorable = read_property(core, "Default_Ignorable_Code_Point");
  const CodePointSet join_control = read_property(props, "Join_Control");
  const CodePointSet cc = read_property(categories, "Cc");
  const CodePointSet cf = read_property(categories, "Cf");
  const CodePointSet mn = read_property(categories, "Mn");
  const CodePointSet mc = read_property(categories, "Mc");
  const CodePointSet me = read_property(categories, "Me");
  const CodePointSet zl = read_property(categories, "Zl");
  const CodePointSet zp = read_property(categories, "Zp");

  CodePointSet mark(code_space_size);
  CodePointSet separator(code_space_size);
  CodePointSet control_or_format_set(code_space_size);
  for (char32_t cp = 0; cp < code_space_size; ++cp) {
    mark[cp] = mn[cp] || mc[cp] || me[cp];
    separator[cp] = zl[cp] || zp[cp];
    control_or_format_set[cp] = (cc[cp] && cp != '\t' && cp != '\n' && cp != '\r') ||
                                (ignorable[cp] && cp >= 0x2000 && cp <= 0x206F && !join_control[cp]) ||
                                (cf[cp] && cp >= 0xFFF0 && cp <= 0xFFFF);
  }

  const struct {
    const char* property;
    std::uint16_t classes;
    CodePointSet members;
  } cases[] = {
      {"Default_Ignorable_Code_Point", default_ignorable, ignorable},
      {"Variation_Selector", variation_selector, read_property(props, "Variation_Selector")},
      {"General_Category Mn, Mc, Me", combining_mark, mark},
      {"Join_Control", joiner, join_control},
      {"Bidi_Control", bidi_control | bidi_mark, read_property(props, "Bidi_Control")},
      {"General_Category Zl, Zp", line_separator, separator},
      {"controls, General Punctuation and Specials formats", control_or_format, control_or_format_set},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(disagreements(c.classes, c.members), "") << c.property;
  }
}

}  // namespace
}  // namespace orlenta
