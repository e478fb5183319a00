#include "mixed_script_words.h"

#include <array>
#include <cctype>
#include <cstring>
#include <string>

#include "classes/confusables.h"
#include "classes/scripts.h"
#include "normkit/utf8.h"
#include "text/byte_block.h"
#include "text/utf8.h"

namespace orlenta::detect {
namespace {

// Script sets with the three writing systems that combine scripts: Japanese
// (Han, Hiragana, Katakana), Korean (Han, Hangul) and Han with Bopomofo.
// A word of Han and Hiragana resolves to Japanese instead of to nothing.
struct AugmentedSet {
  enum Extra : std::uint8_t { jpan = 1, kore = 2, hanb = 4 };
  ScriptSet scripts;
  std::uint8_t extra = 0;

  static AugmentedSet of(ScriptSet scripts) {
    AugmentedSet set{scripts, 0};
    if (scripts.contains(Script::Hani)) set.extra |= jpan | kore | hanb;
    if (scripts.contains(Script::Hira) || scripts.contains(Script::Kana)) set.extra |= jpan;
    if (scripts.contains(Script::Hang)) set.extra |= kore;
    if (scripts.contains(Script::Bopo)) set.extra |= hanb;
    return set;
  }
  void intersect(const AugmentedSet& other) {
    scripts &= other.scripts;
    extra &= other.extra;
  }
  bool empty() const { return extra == 0 && scripts.empty(); }
};

// A code point that belongs to every script: Common with no narrower
// Script_Extensions, or a combining mark of the Inherited script. A mark
// takes the script of its base; which marks an orthography puts on which
// letters is no matter of look-alikes (Nivkh writes a caron on Cyrillic
// letters, which the caron's Script_Extensions do not list).
bool is_universal(const ScriptInfo& info) {
  return info.script() == Script::Zinh || (info.extensions() == 0 && info.script() == Script::Zyyy);
}

// Greek mu and omega are also the unit symbols micro and ohm, written with
// Latin letters ("5 μg", "10 kΩ"); NFKC turns U+00B5 MICRO SIGN and U+2126
// OHM SIGN into them. They imitate no Latin letter.
bool is_unit_symbol(char32_t cp) { return cp == 0x03BC || cp == 0x03A9; }

ScriptSet extensions(const ScriptInfo& info) {
  return info.extensions() == 0 ? ScriptSet(info.script()) : script_extension_set(info.extensions());
}

bool is_ascii_word_byte(unsigned char byte) {
  return (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || byte == '_';
}

struct Letter {
  char32_t cp;
  ScriptInfo info;
};

bool is_universal(const Letter& letter) { return is_universal(letter.info) || is_unit_symbol(letter.cp); }

// Words up to this many bytes are compared with their look-alikes; a longer
// run of letters is a sentence of a script without spaces, or no word
// anyone reads as one, and is judged on its scripts alone. The bound keeps
// the look-alike search's memory fixed whatever the input.
constexpr std::size_t look_alike_max_bytes = 256;

ScriptInfo ascii_info(unsigned char byte) {
  const bool common = (byte >= '0' && byte <= '9') || byte == '_';
  return ScriptInfo(common ? Script::Zyyy : Script::Latn, true);
}

std::u32string skeleton_of(std::u32string_view cps) {
  std::u32string skeleton;
  // A word is bounded by the text, and the skeleton by a small multiple of
  // the word: no limit is needed beyond the text's own size.
  confusable_skeleton(cps, skeleton, cps.size() * 64);
  return skeleton;
}

std::string utf8_of(std::u32string_view cps) {
  std::string out;
  for (const char32_t cp : cps) normkit::utf8::append(out, cp);
  return out;
}

// The scripts of a word's letters, the most frequent first (Latin on a
// tie), then the others in the order they appear: "Latn+Cyrl".
struct ScriptTally {
  std::array<std::uint32_t, script_count> counts{};
  std::array<Script, script_count> order{};
  std::size_t distinct = 0;

  void add(Script script) {
    if (counts[static_cast<std::size_t>(script)]++ == 0) order[distinct++] = script;
  }
  Script main() const {
    Script best = order[0];
    for (std::size_t i = 1; i < distinct; ++i) {
      const Script s = order[i];
      const auto count = counts[static_cast<std::size_t>(s)], best_count = counts[static_cast<std::size_t>(best)];
      if (count > best_count || (count == best_count && s == Script::Latn)) best = s;
    }
    return best;
  }
  std::string names() const {
    const Script first = main();
    std::string text(script_code(first));
    for (std::size_t i = 0; i < distinct; ++i) {
      if (order[i] == first) continue;
      text += '+';
      text += script_code(order[i]);
    }
    return text;
  }
};

// The letters of one word of the text, decoded again on each pass so that a
// word of any length costs no memory.
struct WordLetters {
  std::string_view word;

  template <typename F>
  void each(F&& f) const {
    for (std::size_t i = 0; i < word.size();) {
      const auto byte = static_cast<unsigned char>(word[i]);
      if (byte < 0x80) {
        f(Letter{byte, ascii_info(byte)});
        ++i;
        continue;
      }
      std::size_t length = 0;
      const char32_t cp = decode_utf8(word.data() + i, length);
      f(Letter{cp, script_info(cp)});
      i += length;
    }
  }
  std::vector<Letter> list() const {
    std::vector<Letter> letters;
    each([&](const Letter& letter) { letters.push_back(letter); });
    return letters;
  }
};

// Latin may join Han and its companions, or one other recommended script
// that does not share look-alikes with it wholesale (Cyrillic and Greek do).
template <typename Letters>
bool within_moderate_restriction(const Letters& letters) {
  static const ScriptSet companions = [] {
    ScriptSet set = recommended_scripts();
    ScriptSet without;
    for (std::size_t i = 0; i < script_count; ++i) {
      const auto script = static_cast<Script>(i);
      if (set.contains(script) && script != Script::Cyrl && script != Script::Grek && script != Script::Latn) {
        without.add(script);
      }
    }
    return without;
  }();
  bool any = false;
  AugmentedSet rest;
  letters.each([&](const Letter& letter) {
    if (is_universal(letter)) return;
    const ScriptSet scripts = extensions(letter.info);
    if (scripts.contains(Script::Latn)) return;
    const AugmentedSet set = AugmentedSet::of(scripts);
    if (!any) {
      rest = set;
      any = true;
    } else {
      rest.intersect(set);
    }
  });
  return any && (rest.extra != 0 || !(rest.scripts & companions).empty());
}

// The word of the main script that `letters` imitate, when every letter of
// another script has a prototype that fits the main script and the
// skeletons agree; empty otherwise.
std::u32string look_alike(const std::vector<Letter>& letters, Script main) {
  std::u32string word, imitated;
  for (const Letter& letter : letters) {
    word.push_back(letter.cp);
    if (is_universal(letter) || extensions(letter.info).contains(main)) {
      imitated.push_back(letter.cp);
      continue;
    }
    const std::u32string_view prototype = confusable_prototype(letter.cp);
    if (prototype.empty()) return {};
    for (const char32_t cp : prototype) {
      const ScriptInfo info = script_info(cp);
      if (!is_universal(info) && !extensions(info).contains(main)) return {};
    }
    imitated.append(prototype);
  }
  if (skeleton_of(word) != skeleton_of(imitated)) return {};
  return imitated;
}

// Whether every letter of a Cyrillic or Greek word has an ASCII letter or
// digit for its skeleton; `ascii` receives the skeleton.
bool imitates_ascii(const std::vector<Letter>& letters, std::u32string& ascii) {
  std::u32string word;
  for (const Letter& letter : letters) word.push_back(letter.cp);
  ascii = skeleton_of(word);
  for (const char32_t cp : ascii) {
    if (cp >= 0x80 || !is_ascii_word_byte(static_cast<unsigned char>(cp))) return false;
  }
  return true;
}

class WordScan {
 public:
  WordScan(std::string_view text, std::vector<Finding>& found) : text_(text), found_(found) {}

  void run() {
    std::size_t pos = 0;
    while ((pos = next_non_ascii(pos)) < text_.size()) {
      std::size_t length = 0;
      const char32_t cp = decode_utf8(text_.data() + pos, length);
      const ScriptInfo info = script_info(cp);
      if (!info.word_character()) {
        non_ascii_outside_word(pos);
        pos += length;
        continue;
      }
      std::size_t start = pos;
      while (start > word_floor_ && is_ascii_word_byte(static_cast<unsigned char>(text_[start - 1]))) --start;
      pos = word(after_escape(start, pos));
      word_floor_ = pos;
    }
    settle_candidate(text_.size());
  }

 private:
  // The first byte from 0x80 up at or after `pos`, or the text's size.
  std::size_t next_non_ascii(std::size_t pos) const {
    const char* const data = text_.data();
    while (text_.size() - pos >= block_size) {
      const std::uint64_t high = lane_bits(std::bit_cast<ByteTest>(load_block(data + pos)) < 0);
      if (high != 0) return pos + static_cast<std::size_t>(std::countr_zero(high));
      pos += block_size;
    }
    while (pos < text_.size() && static_cast<unsigned char>(data[pos]) < 0x80) ++pos;
    return pos;
  }

  // Where a word that starts at `start` with ASCII up to `letter` really
  // starts: a string literal's escape ("\\n", "\\x41", "\\u00e9") or a
  // format directive ("%s") before a non-ASCII letter is no part of it.
  std::size_t after_escape(std::size_t start, std::size_t letter) const {
    if (start == 0 || start == letter) return start;
    const char before = text_[start - 1];
    if (before == '%') return start + 1;
    if (before != '\\') return start;
    const auto is_hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    const auto is_octal = [](char c) { return c >= '0' && c <= '7'; };
    const char kind = text_[start];
    std::size_t digits = 0;
    bool (*digit)(char) = is_hex;
    if (kind == 'x') {
      digits = 2;
    } else if (kind == 'u') {
      digits = 4;
    } else if (kind == 'U') {
      digits = 8;
    } else if (is_octal(kind)) {
      digits = 2;
      digit = is_octal;
    }
    std::size_t end = start + 1;
    while (digits-- > 0 && end < letter && digit(text_[end])) ++end;
    return end;
  }

  // Reads the word that starts at `start` and judges it; returns its end.
  // Most words are of one script with no Script_Extensions to weigh, which
  // this first pass settles on its own.
  std::size_t word(std::size_t start) {
    bool plain = true;  // every letter of one script, or of every script
    Script single = Script::Zyyy;
    unsigned han_family = 0;  // the scripts of Chinese, Japanese and Korean met
    std::size_t end = start;
    while (end < text_.size()) {
      std::size_t length = 1;
      const auto byte = static_cast<unsigned char>(text_[end]);
      ScriptInfo info;
      char32_t cp = byte;
      if (byte < 0x80) {
        if (!is_ascii_word_byte(byte)) break;
        info = ascii_info(byte);
      } else {
        cp = decode_utf8(text_.data() + end, length);
        info = script_info(cp);
        if (!info.word_character()) break;
      }
      end += length;
      if (is_universal(info) || is_unit_symbol(cp)) continue;
      if (info.extensions() != 0) {
        plain = false;
      } else if (const unsigned member = han_family_member(info.script()); member != 0) {
        han_family |= member;
      } else if (single == Script::Zyyy) {
        single = info.script();
      } else if (info.script() != single) {
        plain = false;
      }
    }
    if (han_family != 0) plain = plain && single == Script::Zyyy && is_one_writing_system(han_family);
    const WordLetters letters{text_.substr(start, end - start)};
    if (plain || resolves_to_one_script(letters)) {
      single_script_word(letters, start, single);
    } else {
      mixed_word(letters, start);
    }
    return end;
  }

  // Han and the scripts written with it, one bit each: a word of Han and
  // kana is one Japanese word, not two scripts.
  static unsigned han_family_member(Script script) {
    switch (script) {
      case Script::Hani: return 1;
      case Script::Hira: return 2;
      case Script::Kana: return 4;
      case Script::Hang: return 8;
      case Script::Bopo: return 16;
      default: return 0;
    }
  }
  static bool is_one_writing_system(unsigned han_family) {
    return (han_family & ~7u) == 0 || (han_family & ~9u) == 0 || (han_family & ~17u) == 0;
  }

  static bool resolves_to_one_script(const WordLetters& letters) {
    AugmentedSet resolved;
    bool any = false;
    ScriptInfo previous;
    letters.each([&](const Letter& letter) {
      // A letter like the one before narrows nothing further.
      if ((any && letter.info == previous) || is_universal(letter)) return;
      previous = letter.info;
      const AugmentedSet set = AugmentedSet::of(extensions(letter.info));
      if (!any) {
        resolved = set;
        any = true;
      } else {
        resolved.intersect(set);
      }
    });
    return !any || !resolved.empty();
  }

  void mixed_word(const WordLetters& letters, std::size_t start) {
    const std::size_t end = start + letters.word.size();
    settle_candidate(start);
    last_non_ascii_end_ = end;
    ScriptTally tally;
    letters.each([&](const Letter& letter) {
      if (!is_universal(letter) && letter.info.script() != Script::Zyyy) tally.add(letter.info.script());
    });
    const std::u32string imitated =
        letters.word.size() <= look_alike_max_bytes ? look_alike(letters.list(), tally.main()) : std::u32string();
    if (!imitated.empty()) {
      add_finding(found_, {FindingKind::confusable, start, end,
                           {{"scripts", tally.names()}, {"looks_like", utf8_of(imitated)}}});
    } else if (!within_moderate_restriction(letters)) {
      add_finding(found_, {FindingKind::mixed_script, start, end, {{"scripts", tally.names()}}});
    }
  }

  // A Cyrillic or Greek word of two or more letters that imitates ASCII,
  // used as an identifier on a line of ASCII code (an ASCII letter and no
  // other non-ASCII code point), is held as a candidate until the rest of
  // its line is known. A word list or a translation beside English words
  // ("его  | him") is no code.
  void single_script_word(const WordLetters& letters, std::size_t start, Script script) {
    const std::size_t end = start + letters.word.size();
    settle_candidate(start);
    const std::size_t since = last_non_ascii_end_;
    last_non_ascii_end_ = end;
    if (script != Script::Cyrl && script != Script::Grek) return;
    // The line's start, when no non-ASCII code point precedes the word on it.
    const char* line_break = nullptr;
    for (std::size_t i = start; i > since; --i) {
      if (text_[i - 1] == '\n') {
        line_break = text_.data() + i - 1;
        break;
      }
    }
    if ((since != 0 && line_break == nullptr) || letters.word.size() > look_alike_max_bytes) return;
    if (!used_as_identifier(start, end)) return;
    const std::vector<Letter> list = letters.list();
    std::u32string ascii;
    if (list.size() < 2 || !imitates_ascii(list, ascii)) return;
    const std::size_t line_start = line_break == nullptr ? 0 : static_cast<std::size_t>(line_break - text_.data()) + 1;
    candidate_ = Finding{FindingKind::confusable, start, end,
                         {{"scripts", std::string(script_code(script))}, {"looks_like", utf8_of(ascii)}}};
    candidate_has_letter_ = has_ascii_letter(line_start, start);
    has_candidate_ = true;
  }

  // A call, a subscript or a member access: "аре(", "аре[", ".аре",
  // "аре.x", "(аре", "!аре".
  bool used_as_identifier(std::size_t start, std::size_t end) const {
    const char before = start == 0 ? ' ' : text_[start - 1];
    const char after = end == text_.size() ? ' ' : text_[end];
    if (before == '.' || before == '(' || before == '[' || before == '!') return true;
    if (after == '(' || after == '[') return true;
    return after == '.' && end + 1 < text_.size() && is_ascii_word_byte(static_cast<unsigned char>(text_[end + 1]));
  }

  bool has_ascii_letter(std::size_t from, std::size_t to) const {
    for (std::size_t i = from; i < to; ++i) {
      const auto byte = static_cast<unsigned char>(text_[i] | 0x20);
      if (byte >= 'a' && byte <= 'z') return true;
    }
    return false;
  }

  void non_ascii_outside_word(std::size_t pos) {
    settle_candidate(pos);
    std::size_t length = 0;
    decode_utf8(text_.data() + pos, length);
    last_non_ascii_end_ = pos + length;
  }

  // The held candidate stands when a line break comes before the next
  // non-ASCII code point at `next` (or the text ends first), and an ASCII
  // letter stands on its line.
  void settle_candidate(std::size_t next) {
    if (!has_candidate_) return;
    has_candidate_ = false;
    const std::size_t from = candidate_.end;
    const void* line_break = std::memchr(text_.data() + from, '\n', next - from);
    if (next != text_.size() && line_break == nullptr) return;
    const std::size_t line_end =
        line_break == nullptr ? next : static_cast<std::size_t>(static_cast<const char*>(line_break) - text_.data());
    if (candidate_has_letter_ || has_ascii_letter(from, line_end)) add_finding(found_, std::move(candidate_));
  }

  std::string_view text_;
  std::vector<Finding>& found_;
  std::size_t word_floor_ = 0;          // where the last word judged ended
  std::size_t last_non_ascii_end_ = 0;  // end of the last non-ASCII code point seen
  Finding candidate_{};
  bool has_candidate_ = false;
  bool candidate_has_letter_ = false;
};

}  // namespace

void find_mixed_script_words(std::string_view text, std::vector<Finding>& found) { WordScan(text, found).run(); }

}  // namespace orlenta::detect
