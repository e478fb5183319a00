#include "joiners_out_of_context.h"

#include <cstddef>
#include <string>

#include "classes/code_point_classes.h"
#include "classes/emoji_properties.h"
#include "classes/indic_syllabic_category.h"
#include "classes/joining_type.h"
#include "classes/scripts.h"
#include "normkit/normalize.h"
#include "text/utf8.h"
#include "zero_width.h"

namespace orlenta::detect {
namespace {

constexpr char32_t zwnj = 0x200C;
constexpr char32_t zwj = 0x200D;

// Orthographies put a few marks between a joiner and its letter, and the
// tags of a subdivision flag are seven; a longer walk means no context. The
// bound keeps the work per joiner small on hostile input: a text made of
// joiners each after a long stack of marks is still read at tens of MB/s.
constexpr int max_skipped = 16;

// A code point next to a joiner and where it starts; {0, nullptr} when
// there is none.
struct Neighbour {
  char32_t cp = 0;
  const char* at = nullptr;
};

// Reads the code points around a joiner, within the text.
class Neighbours {
 public:
  Neighbours(std::string_view text, const char* joiner)
      : begin_(text.data()), end_(text.data() + text.size()), joiner_(joiner) {}

  // The nearest code point before the joiner for which `skip` does not
  // hold; none at the start of the text or when the walk is too long.
  template <typename Skip>
  Neighbour before(Skip skip) const {
    return before(joiner_, skip);
  }

  // The same before the code point that starts at `from`.
  template <typename Skip>
  Neighbour before(const char* from, Skip skip) const {
    const char* p = from;
    for (int skipped = 0; p != begin_ && skipped <= max_skipped; ++skipped) {
      do --p;
      while ((static_cast<unsigned char>(*p) & 0xC0u) == 0x80u);
      std::size_t length = 0;
      const char32_t cp = decode_utf8(p, length);
      if (!skip(cp)) return {cp, p};
    }
    return {};
  }

  // The nearest code point after the joiner for which `skip` does not hold.
  template <typename Skip>
  Neighbour after(Skip skip) const {
    const char* p = joiner_ + 3;
    for (int skipped = 0; p != end_ && skipped <= max_skipped; ++skipped) {
      std::size_t length = 0;
      const char32_t cp = decode_utf8(p, length);
      if (!skip(cp)) return {cp, p};
      p += length;
    }
    return {};
  }

  Neighbour before() const { return before(skip_nothing); }
  Neighbour after() const { return after(skip_nothing); }

 private:
  static bool skip_nothing(char32_t) { return false; }

  const char* begin_;
  const char* end_;
  const char* joiner_;
};

bool share_a_script(char32_t a, char32_t b) { return !(script_extensions_of(a) & script_extensions_of(b)).empty(); }

bool is_virama_like(char32_t cp) {
  const IndicSyllabicCategory category = indic_syllabic_category(cp);
  return category == IndicSyllabicCategory::virama || category == IndicSyllabicCategory::invisible_stacker ||
         normkit::combining_class(cp) == 9;
}

bool is_syllable_part(char32_t cp) {
  return is_virama_like(cp) || indic_syllabic_category(cp) == IndicSyllabicCategory::syllable_part;
}

// A virama-like sign that follows a letter or sign of its own script,
// nonspacing marks such as a nukta between them.
bool is_conjunct_virama(const Neighbours& around, const Neighbour& sign) {
  if (!is_virama_like(sign.cp)) return false;
  const Neighbour letter =
      around.before(sign.at, [](char32_t cp) { return normkit::is_mark(cp) && !is_virama_like(cp); });
  return is_syllable_part(letter.cp) && share_a_script(letter.cp, sign.cp);
}

// Conjunct control (UAX #31, and the Indic chapters of the standard): a
// joiner after the virama of a consonant chooses between a conjunct, a
// half form and a visible virama (Devanagari, Bengali, Malayalam chillus
// written with ZWJ); marks that canonical ordering puts after the virama
// (combining class other than 0 and 9) may stand between them. A ZWJ
// before the virama asks for touching letters in Sinhala and for the
// ra-phala form in Bengali (র‍্য).
bool in_conjunct_context(const Neighbours& around, char32_t joiner) {
  const Neighbour before = around.before([](char32_t cp) {
    const auto ccc = normkit::combining_class(cp);
    return ccc != 0 && ccc != 9;
  });
  return is_conjunct_virama(around, before) || (joiner == zwj && is_conjunct_virama(around, around.after()));
}

// Between two letters or signs of one Brahmic script, a joiner asks for or
// prevents a ligature of the syllables on either side; Bengali and Marathi
// text puts ZWNJ between a vowel sign and an independent vowel, which keeps
// the two from being read as one syllable.
bool in_syllable_context(const Neighbours& around) {
  const char32_t before = around.before().cp;
  const char32_t after = around.after().cp;
  return is_syllable_part(before) && is_syllable_part(after) && share_a_script(before, after);
}

bool is_transparent(char32_t cp) { return joining_type(cp) == JoiningType::transparent; }

bool is_joining_letter(JoiningType type) { return joins_following(type) || joins_preceding(type); }

// The joining scripts (Arabic, Syriac, N'Ko, Mongolian and others), with
// the transparent marks between a joiner and its letters skipped. ZWNJ
// between two joining letters breaks the cursive connection or marks a
// morpheme boundary: Persian and Urdu put it before a suffix whether or not
// the letter before would join (UAX #31 requires a joining letter on both
// sides of the break; the morpheme boundary takes any joining letter). ZWJ
// shows the joining form of a letter on the side where the letter joins.
bool in_joining_context(const Neighbours& around, char32_t joiner) {
  const JoiningType before = joining_type(around.before(is_transparent).cp);
  const JoiningType after = joining_type(around.after(is_transparent).cp);
  if (joiner == zwnj) return is_joining_letter(before) && is_joining_letter(after);
  return joins_following(before) || joins_preceding(after);
}

// An emoji ZWJ sequence: the joiner stands between two emoji, the first
// possibly with its presentation selector, a skin tone or a tag sequence
// (🏳️‍🌈, 👩🏽‍💻, 🏴 with tags‍…), the second starting with its pictograph.
bool in_emoji_sequence(const Neighbours& around) {
  const char32_t before =
      around.before([](char32_t cp) { return cp == 0xFE0F || is_emoji_modifier(cp) || is_tag_character(cp); }).cp;
  return is_extended_pictographic(before) && is_extended_pictographic(around.after().cp);
}

bool has_a_job(const Neighbours& around, char32_t joiner) {
  return in_conjunct_context(around, joiner) || in_syllable_context(around) ||
         in_joining_context(around, joiner) || (joiner == zwj && in_emoji_sequence(around));
}

}  // namespace

void find_joiners_out_of_context(std::string_view text, std::vector<Finding>& found) {
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  for (const char* p = find_zero_width(begin, end); p != end; p = find_zero_width(p, end)) {
    // A zero-width code point next to another belongs to a run, reported
    // as such; only a joiner on its own is judged.
    const char* const start = p;
    std::size_t count = 0;
    char32_t cp = 0;
    for (std::size_t size = 0; p != end; p += size) {
      const char32_t next = decode_utf8(p, size);
      if (!is_zero_width(next)) break;
      cp = next;
      ++count;
    }
    if (count != 1 || !is_joiner(cp) || has_a_job(Neighbours(text, start), cp)) continue;
    add_finding(found, {FindingKind::joiner_out_of_context,
                     static_cast<std::size_t>(start - begin),
                     static_cast<std::size_t>(p - begin),
                     {{"code_point", std::string(cp == zwnj ? "U+200C" : "U+200D")}}});
  }
}

}  // namespace orlenta::detect
