#include "random_text.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/unorm2.h>

#include <algorithm>
#include <stdexcept>

#include "normkit/utf8.h"

namespace icu_differential {
namespace {

constexpr char32_t code_point_limit = 0x110000;

std::u32string to_code_points(const icu::UnicodeString& text) {
  std::u32string code_points;
  for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
    code_points += static_cast<char32_t>(text.char32At(i));
  }
  return code_points;
}

const icu::Normalizer2& icu_instance(const icu::Normalizer2* (*get)(UErrorCode&)) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* normalizer = get(status);
  if (U_FAILURE(status)) {
    throw std::runtime_error(std::string("ICU normalizer: ") + u_errorName(status));
  }
  return *normalizer;
}

bool is_hangul_syllable(char32_t cp) { return cp >= 0xAC00 && cp <= 0xD7A3; }

// The conjoining jamo block and the extended jamo blocks, whose members next
// to the conjoining ranges must not compose.
bool is_jamo(char32_t cp) {
  return (cp >= 0x1100 && cp <= 0x11FF) || (cp >= 0xA960 && cp <= 0xA97F) ||
         (cp >= 0xD7B0 && cp <= 0xD7FF);
}

// Planes 0 to 3 and the start of plane 14 hold all the detail of the
// property tables; unassigned code points elsewhere look alike.
bool is_interesting_unassigned(char32_t cp) { return cp < 0x40000 || (cp >= 0xE0000 && cp < 0xE1000); }

bool is_surrogate(char32_t cp) { return cp >= 0xD800 && cp <= 0xDFFF; }

char32_t pick(const std::vector<char32_t>& pool, std::mt19937& random) {
  return pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(random)];
}

int below(int bound, std::mt19937& random) {
  return std::uniform_int_distribution<int>(0, bound - 1)(random);
}

void append_marks(std::u32string& text, const CodePointPools& pools, int count, std::mt19937& random) {
  std::u32string marks;
  for (int i = 0; i < count; ++i) {
    marks += pick(below(3, random) == 0 ? pools.combining_backwards : pools.marks, random);
  }
  if (below(2, random) == 0) {
    std::stable_sort(marks.begin(), marks.end(),
                     [](char32_t a, char32_t b) { return u_getCombiningClass(a) < u_getCombiningClass(b); });
  }
  text += marks;
}

void append_hangul(std::u32string& text, const CodePointPools& pools, std::mt19937& random) {
  // Jamo just outside the conjoining ranges, which must not compose:
  // U+1113 after the leading consonants, U+1160 and U+1176 around the
  // vowels, U+11A7 and U+11C3 around the trailing consonants.
  static constexpr char32_t range_edges[] = {0x1113, 0x1160, 0x1176, 0x11A7, 0x11C3};
  const auto leading = [&] { return static_cast<char32_t>(0x1100 + below(19, random)); };
  const auto vowel = [&] { return static_cast<char32_t>(0x1161 + below(21, random)); };
  const auto trailing = [&] { return static_cast<char32_t>(0x11A8 + below(27, random)); };
  switch (below(6, random)) {
    case 0:
      text += pick(pools.hangul_syllables, random);
      break;
    case 1:
      text += pick(pools.hangul_syllables, random);
      text += trailing();
      break;
    case 2:
      text += leading();
      text += vowel();
      break;
    case 3:
      text += leading();
      text += vowel();
      text += trailing();
      break;
    case 4:
      text += below(2, random) == 0 ? pick(pools.hangul_syllables, random) : leading();
      text += range_edges[below(5, random)];
      break;
    default:
      for (int i = below(3, random); i >= 0; --i) {
        text += pick(pools.jamo, random);
      }
      break;
  }
}

void append_piece(std::u32string& text, const CodePointPools& pools, std::mt19937& random) {
  switch (below(12, random)) {
    case 0:
    case 1:
      text += pick(pools.composition_leads, random);
      append_marks(text, pools, below(4, random), random);
      break;
    case 2:
      append_marks(text, pools, 1 + below(5, random), random);
      break;
    case 3:
      text += pools.full_decompositions[std::uniform_int_distribution<std::size_t>(
          0, pools.full_decompositions.size() - 1)(random)];
      append_marks(text, pools, below(2, random), random);
      break;
    case 4:
    case 5:
      append_hangul(text, pools, random);
      break;
    case 6:
      text += pick(pools.canonical_composites, random);
      append_marks(text, pools, below(3, random), random);
      break;
    case 7:
      text += pick(pools.compatibility, random);
      break;
    case 8:
      text += pick(pools.assigned, random);
      break;
    case 9:
      text += static_cast<char32_t>(0x20 + below(0x5F, random));
      break;
    case 10:
      text += pick(pools.combining_backwards, random);
      break;
    default:
      text += pick(pools.unassigned, random);
      break;
  }
}

}  // namespace

CodePointPools build_pools(const std::vector<AgeRange>& ages, UnicodeVersion up_to) {
  std::vector<bool> listed(code_point_limit);
  std::vector<bool> eligible(code_point_limit);
  for (const AgeRange& range : ages) {
    for (char32_t cp = range.first; cp <= range.last; ++cp) {
      listed[cp] = true;
      eligible[cp] = range.age <= up_to;
    }
  }

  const icu::Normalizer2& nfd = icu_instance(icu::Normalizer2::getNFDInstance);
  const icu::Normalizer2& nfkd = icu_instance(icu::Normalizer2::getNFKDInstance);
  CodePointPools pools;
  std::vector<bool> is_lead(code_point_limit);
  for (char32_t cp = 0; cp < code_point_limit; ++cp) {
    if (is_surrogate(cp)) {
      continue;
    }
    if (!listed[cp]) {
      if (is_interesting_unassigned(cp)) {
        pools.unassigned.push_back(cp);
      }
      continue;
    }
    const auto icu_cp = static_cast<UChar32>(cp);
    if (!eligible[cp] || u_charType(icu_cp) == U_PRIVATE_USE_CHAR) {
      continue;
    }
    pools.assigned.push_back(cp);
    if (u_getCombiningClass(icu_cp) != 0) {
      pools.marks.push_back(cp);
    }
    if (u_getIntPropertyValue(icu_cp, UCHAR_NFC_QUICK_CHECK) == UNORM_MAYBE) {
      pools.combining_backwards.push_back(cp);
    }
    if (is_hangul_syllable(cp)) {
      pools.hangul_syllables.push_back(cp);
      continue;
    }
    if (is_jamo(cp)) {
      pools.jamo.push_back(cp);
    }
    icu::UnicodeString decomposition;
    if (nfd.getRawDecomposition(icu_cp, decomposition)) {
      is_lead[static_cast<char32_t>(decomposition.char32At(0))] = true;
      nfd.getDecomposition(icu_cp, decomposition);
      pools.canonical_composites.push_back(cp);
      pools.full_decompositions.push_back(to_code_points(decomposition));
    } else if (nfkd.getDecomposition(icu_cp, decomposition)) {
      pools.compatibility.push_back(cp);
      pools.full_decompositions.push_back(to_code_points(decomposition));
    }
  }
  for (char32_t cp = 0; cp < code_point_limit; ++cp) {
    if (is_lead[cp]) {
      pools.composition_leads.push_back(cp);
    }
  }
  return pools;
}

std::u32string random_text(const CodePointPools& pools, std::mt19937& random) {
  std::u32string text;
  for (int pieces = 1 + below(8, random); pieces > 0; --pieces) {
    append_piece(text, pools, random);
  }
  return text;
}

std::string to_utf8(const std::u32string& text) {
  std::string out;
  for (const char32_t cp : text) normkit::utf8::append(out, cp);
  return out;
}

}  // namespace icu_differential
