#include "utf8_from_code_points.h"

#include <array>

#include "normkit/utf8.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORLENTA_HAS_SSSE3_PATH 1
#else
#define ORLENTA_HAS_SSSE3_PATH 0
#endif

namespace orlenta {
namespace {

// Writes one code point; false, writing nothing, for a surrogate.
inline bool put_code_point(std::uint32_t cp, char*& out) {
  if (cp < 0x80) {
    *out++ = static_cast<char>(cp);
    return true;
  }
  if (cp - 0xD800 < 0x800) return false;
  out += normkit::utf8::encode(static_cast<char32_t>(cp), out);
  return true;
}

#if ORLENTA_HAS_SSSE3_PATH

// How the UTF-8 of four code points below U+10000 is gathered out of the
// four 32-bit lanes that hold each one's bytes from the first: which lane
// bytes go out, in order, and how many. The index has bit k set when lane k
// takes two bytes or more, and bit 4 + k when it takes three.
struct Gather {
  std::array<std::uint8_t, 16> bytes;
  std::uint8_t length;
};

constexpr std::array<Gather, 256> make_gathers() {
  std::array<Gather, 256> gathers{};
  for (std::size_t index = 0; index < gathers.size(); ++index) {
    Gather& gather = gathers[index];
    gather.bytes.fill(0x80);  // a set high bit makes pshufb write zero
    std::size_t length = 0;
    for (std::size_t lane = 0; lane < 4; ++lane) {
      const std::size_t lane_bytes = 1 + ((index >> lane) & 1) + ((index >> (4 + lane)) & 1);
      for (std::size_t byte = 0; byte < lane_bytes; ++byte) {
        gather.bytes[length++] = static_cast<std::uint8_t>(4 * lane + byte);
      }
    }
    gather.length = static_cast<std::uint8_t>(length);
  }
  return gathers;
}

constexpr std::array<Gather, 256> gathers = make_gathers();

// Four code points at a time, sixteen while all are ASCII, which chat text
// has long runs of even in other scripts. Outside ASCII each lane holds its
// code point's one, two or three bytes from the first, of which pshufb
// gathers those in use. A group with a code point from U+10000 up or a
// surrogate goes one by one. Every store writes 16 bytes, which the room of
// four bytes per code point holds while four code points are left.
__attribute__((target("ssse3"))) std::optional<std::size_t> utf8_from_code_points_ssse3(
    const std::uint32_t* code_points, std::size_t count, char* out) {
  char* const start = out;
  const __m128i below_ascii = _mm_set1_epi32(0x7F);
  const __m128i below_two = _mm_set1_epi32(0x7FF);
  const __m128i below_three = _mm_set1_epi32(0xFFFF);
  const __m128i surrogate_bits = _mm_set1_epi32(0xF800);
  const __m128i surrogate = _mm_set1_epi32(0xD800);
  const __m128i low_six = _mm_set1_epi32(0x3F);
  const __m128i continuation = _mm_set1_epi32(0x80);
  const __m128i two_lead = _mm_set1_epi32(0xC0);
  const __m128i three_lead = _mm_set1_epi32(0xE0);
  std::size_t i = 0;
  while (count - i >= 4) {
    const auto* const at = reinterpret_cast<const __m128i*>(code_points + i);
    const __m128i v = _mm_loadu_si128(at);
    const __m128i two_or_more = _mm_cmpgt_epi32(v, below_ascii);
    if (_mm_movemask_epi8(two_or_more) == 0) {
      if (count - i >= 16) {
        const __m128i b = _mm_loadu_si128(at + 1);
        const __m128i c = _mm_loadu_si128(at + 2);
        const __m128i d = _mm_loadu_si128(at + 3);
        if (_mm_movemask_epi8(_mm_cmpgt_epi32(_mm_or_si128(b, _mm_or_si128(c, d)), below_ascii)) == 0) {
          const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(v, b), _mm_packs_epi32(c, d));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
          out += 16;
          i += 16;
          continue;
        }
      }
      const __m128i narrow = _mm_packs_epi32(v, v);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(narrow, narrow));
      out += 4;
      i += 4;
      continue;
    }
    const __m128i beyond_three = _mm_cmpgt_epi32(v, below_three);
    const __m128i surrogates = _mm_cmpeq_epi32(_mm_and_si128(v, surrogate_bits), surrogate);
    if (_mm_movemask_epi8(_mm_or_si128(beyond_three, surrogates)) != 0) {
      for (std::size_t k = 0; k < 4; ++k) {
        if (!put_code_point(code_points[i + k], out)) return std::nullopt;
      }
      i += 4;
      continue;
    }
    const __m128i three = _mm_cmpgt_epi32(v, below_two);
    const __m128i last = _mm_or_si128(_mm_and_si128(v, low_six), continuation);
    const __m128i middle = _mm_or_si128(_mm_and_si128(_mm_srli_epi32(v, 6), low_six), continuation);
    const __m128i three_bytes = _mm_or_si128(_mm_or_si128(_mm_srli_epi32(v, 12), three_lead),
                                             _mm_or_si128(_mm_slli_epi32(middle, 8), _mm_slli_epi32(last, 16)));
    const __m128i two_bytes = _mm_or_si128(_mm_or_si128(_mm_srli_epi32(v, 6), two_lead), _mm_slli_epi32(last, 8));
    const __m128i wide = _mm_or_si128(_mm_and_si128(three, three_bytes), _mm_andnot_si128(three, two_bytes));
    const __m128i lanes = _mm_or_si128(_mm_and_si128(two_or_more, wide), _mm_andnot_si128(two_or_more, v));
    const unsigned index = static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(two_or_more))) |
                           (static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(three))) << 4);
    const Gather& gather = gathers[index];
    const __m128i order = _mm_loadu_si128(reinterpret_cast<const __m128i*>(gather.bytes.data()));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(lanes, order));
    out += gather.length;
    i += 4;
  }
  for (; i < count; ++i) {
    if (!put_code_point(code_points[i], out)) return std::nullopt;
  }
  return static_cast<std::size_t>(out - start);
}

bool detect_ssse3() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3");
}

const bool has_ssse3 = detect_ssse3();

#endif

}  // namespace

std::optional<std::size_t> utf8_from_code_points_one_by_one(const std::uint32_t* code_points, std::size_t count,
                                                            char* out) {
  // Chat text is mostly ASCII even in other scripts (spaces, digits,
  // punctuation), so eight code points at a time are tested at once and,
  // when all are ASCII, narrowed without a branch each.
  constexpr std::size_t run = 8;
  char* const start = out;
  std::size_t i = 0;
  for (; count - i >= run; i += run) {
    const std::uint32_t* const block = code_points + i;
    std::uint32_t any = 0;
    for (std::size_t k = 0; k < run; ++k) any |= block[k];
    if (any < 0x80) {
      for (std::size_t k = 0; k < run; ++k) out[k] = static_cast<char>(block[k]);
      out += run;
      continue;
    }
    for (std::size_t k = 0; k < run; ++k) {
      if (!put_code_point(block[k], out)) return std::nullopt;
    }
  }
  for (; i < count; ++i) {
    if (!put_code_point(code_points[i], out)) return std::nullopt;
  }
  return static_cast<std::size_t>(out - start);
}

std::optional<std::size_t> utf8_from_code_points(const std::uint32_t* code_points, std::size_t count, char* out) {
#if ORLENTA_HAS_SSSE3_PATH
  if (has_ssse3) return utf8_from_code_points_ssse3(code_points, count, out);
#endif
  return utf8_from_code_points_one_by_one(code_points, count, out);
}

}  // namespace orlenta
