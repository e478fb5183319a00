// Internal: the generated tables and the lookups over them.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "normkit/normalize.h"

namespace normkit::detail {

#if defined(__GNUC__)
#pragma GCC visibility push(hidden)
#endif
#include "../tables/normalization_tables.inc"
#if defined(__GNUC__)
#pragma GCC visibility pop
#endif

static_assert(std::string_view(kTablesUnicodeVersion) == unicode_version);

// Bits of a props value (tools/gen_tables.py writes them).
inline constexpr std::uint16_t kCccMask = 0x00FF;
inline constexpr unsigned kNfcQcShift = 8;
inline constexpr unsigned kNfkcQcShift = 10;
inline constexpr std::uint16_t kMark = 1u << 12;
inline constexpr std::uint16_t kCanonDecomp = 1u << 13;
inline constexpr std::uint16_t kCompatDecomp = 1u << 14;
inline constexpr std::uint16_t kBackward = 1u << 15;

inline constexpr unsigned kQcYes = 0, kQcNo = 1, kQcMaybe = 2;

// What one normalization form reads from a props value.
struct FormBits {
  unsigned qc_shift;
  std::uint16_t qc_mask;          // the form's quick-check bits
  std::uint16_t yes_starter_mask; // props & mask == 0: ccc 0 and quick check Yes
  std::uint16_t decomp_bit;       // has a decomposition in this form
};

inline constexpr FormBits form_bits(Form form) {
  return form == Form::nfc
             ? FormBits{kNfcQcShift, static_cast<std::uint16_t>(3u << kNfcQcShift),
                        static_cast<std::uint16_t>(kCccMask | (3u << kNfcQcShift)), kCanonDecomp}
             : FormBits{kNfkcQcShift, static_cast<std::uint16_t>(3u << kNfkcQcShift),
                        static_cast<std::uint16_t>(kCccMask | (3u << kNfkcQcShift)), kCompatDecomp};
}

// The same as compile-time constants, for the loops that are specialized on
// the form.
template <Form F>
struct FormTraits {
  static constexpr FormBits bits = form_bits(F);
  static constexpr bool compat = F == Form::nfkc;
  // Every code point below this is a quick-check-Yes starter.
  static constexpr char32_t min_no_maybe = F == Form::nfc ? kNfcMinNoMaybe : kNfkcMinNoMaybe;

  // Whether a BMP code point is a quick-check-Yes starter, from the small bit table.
  static bool yes_starter_bmp(char32_t cp) {
    const std::uint64_t bits =
        F == Form::nfc ? kNfcYesBits[kNfcYesIndex[cp >> 6]] : kNfkcYesBits[kNfkcYesIndex[cp >> 6]];
    return (bits >> (cp & 63)) & 1;
  }
};

// The end of the run of ASCII bytes that starts at p (at most limit).
inline const unsigned char* skip_ascii(const unsigned char* p, const unsigned char* limit) {
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  while (limit - p >= 8) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    w &= kHigh;
    if (w != 0) {
      if constexpr (std::endian::native == std::endian::little) {
        return p + (std::countr_zero(w) >> 3);
      } else {
        return p + (std::countl_zero(w) >> 3);
      }
    }
    p += 8;
  }
  while (p < limit && *p < 0x80) ++p;
  return p;
}

// Props of a code point (any value; above U+10FFFF: 0).
inline std::uint16_t props(char32_t cp) {
  constexpr unsigned s0 = kPropsShifts[0], s1 = kPropsShifts[1];
  if (cp < 0x10000) return kPropsData[kPropsBmpIndex[cp >> s1] + (cp & ((1u << s1) - 1))];
  if (cp > 0x10FFFF) return 0;
  const unsigned mid = kPropsIndex1[kPropsIndex0[cp >> s0] + ((cp >> s1) & ((1u << (s0 - s1)) - 1))];
  return kPropsData[mid + (cp & ((1u << s1) - 1))];
}

// The smaller tables: three index levels (shifts s0 > s1 > s2), then data.
#define NORMKIT_SMALL_LOOKUP(name, cp)                                              \
  [](char32_t c) -> unsigned {                                                      \
    constexpr unsigned s0 = name##Shifts[0], s1 = name##Shifts[1], s2 = name##Shifts[2]; \
    if (c > 0x10FFFF) return 0;                                                     \
    unsigned o = name##Index0[c >> s0];                                             \
    o = name##Index1[o + ((c >> s1) & ((1u << (s0 - s1)) - 1))];                    \
    o = name##Index2[o + ((c >> s2) & ((1u << (s1 - s2)) - 1))];                    \
    return name##Data[o + (c & ((1u << s2) - 1))];                                  \
  }(cp)

// Offset of the code point's record in kDecompPool; 0: none.
inline unsigned decomp_record(char32_t cp) { return NORMKIT_SMALL_LOOKUP(kDecomp, cp); }

// Index of the code point's first pair in kCompPairs; 0: combines with nothing.
inline unsigned comp_list(char32_t cp) { return NORMKIT_SMALL_LOOKUP(kComp, cp); }

#undef NORMKIT_SMALL_LOOKUP

// Hangul syllables (Unicode 3.12).
inline constexpr char32_t kSBase = 0xAC00, kLBase = 0x1100, kVBase = 0x1161, kTBase = 0x11A7;
inline constexpr unsigned kLCount = 19, kVCount = 21, kTCount = 28, kNCount = kVCount * kTCount,
                          kSCount = kLCount * kNCount;

inline constexpr std::size_t kMaxDecomposition = 18;

// Writes the full decomposition of cp, whose props carry the form's
// decomposition bit, to out (room for kMaxDecomposition); returns its length.
inline unsigned decompose(char32_t cp, bool compat, char32_t* out) {
  if (cp - kSBase < kSCount) {
    const unsigned s = cp - kSBase;
    out[0] = kLBase + s / kNCount;
    out[1] = kVBase + (s % kNCount) / kTCount;
    if (s % kTCount == 0) return 2;
    out[2] = kTBase + s % kTCount;
    return 3;
  }
  const unsigned offset = decomp_record(cp);
  const std::uint16_t header = kDecompPool[offset];
  const std::uint16_t* units = kDecompPool + offset + 1;
  unsigned length = header & 7;
  if (compat && (header >> 3) != 0) {
    units += length;
    length = header >> 3;
  }
  unsigned n = 0;
  for (unsigned i = 0; i < length; ++i) {
    char32_t u = units[i];
    if (u - 0xD800 < 0x400) {
      u = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    }
    out[n++] = u;
  }
  return n;
}

// The primary composite of a starter and a following code point that is not
// blocked from it, or 0.
inline char32_t compose(char32_t first, char32_t second) {
  if (second - kVBase < kVCount) {
    if (first - kLBase < kLCount) return kSBase + ((first - kLBase) * kVCount + (second - kVBase)) * kTCount;
    return 0;
  }
  if (second - (kTBase + 1) < kTCount - 1) {
    if (first - kSBase < kSCount && (first - kSBase) % kTCount == 0) return first + (second - kTBase);
    return 0;
  }
  unsigned i = comp_list(first);
  if (i == 0) return 0;
  for (;; ++i) {
    const std::uint32_t s = kCompPairs[2 * i];
    if ((s & 0x7FFFFFFF) == second) return kCompPairs[2 * i + 1];
    if (s & 0x80000000) return 0;
  }
}

}  // namespace normkit::detail
