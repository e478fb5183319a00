// Internal: normalization of one short segment in fixed buffers, with no
// allocation. The fast paths of the stream and the checks use it for the
// stretches that the quick check cannot pass; longer segments go to the
// stream's general machinery.
#pragma once

#include <cstring>

#include "normkit/utf8.h"
#include "unicode_data.h"

namespace normkit::detail {

struct SmallSegment {
  static constexpr unsigned kMaxInput = 32;       // code points of a segment
  static constexpr unsigned kMaxDecomposed = 96;  // after decomposition

  char32_t in[kMaxInput];
  unsigned in_count = 0;
  char32_t out[kMaxDecomposed];
  std::uint16_t out_props[kMaxDecomposed];
  unsigned out_count = 0;

  // Finds the end of the segment that starts at `begin` (a boundary): the next
  // Yes starter at or after `from`, an ill-formed byte (which decodes as
  // U+FFFD, a Yes starter) or the end of the text. Decodes the segment into
  // `in`. Returns nullptr when it holds more than kMaxInput code points.
  const unsigned char* scan(const unsigned char* begin, const unsigned char* from,
                            const unsigned char* end, std::uint16_t yes_starter_mask) {
    in_count = 0;
    const unsigned char* p = begin;
    for (; p < end; ++in_count) {
      const utf8::Decoded d = utf8::decode(p, end);
      if (p >= from && (!d.valid || (props(d.cp) & yes_starter_mask) == 0)) break;
      if (in_count == kMaxInput) return nullptr;
      in[in_count] = d.cp;
      p += d.length;
    }
    return p;
  }

  // Normalizes `in` into `out`; false if the decomposition does not fit.
  bool normalize(const FormBits& bits, bool compat) {
    unsigned n = 0;
    for (unsigned i = 0; i < in_count; ++i) {
      const char32_t cp = in[i];
      const std::uint16_t p = props(cp);
      if (p & bits.decomp_bit) {
        if (n + kMaxDecomposition > kMaxDecomposed) return false;
        char32_t buf[kMaxDecomposition];
        const unsigned k = decompose(cp, compat, buf);
        for (unsigned j = 0; j < k; ++j) append(n, buf[j], props(buf[j]));
      } else {
        if (n == kMaxDecomposed) return false;
        append(n, cp, p);
      }
    }
    compose(n);
    return true;
  }

  bool unchanged() const {
    return out_count == in_count && std::memcmp(in, out, in_count * sizeof(char32_t)) == 0;
  }

 private:
  // Appends with canonical reordering: a non-starter moves before the
  // non-starters of a higher class (stable insertion).
  void append(unsigned& n, char32_t cp, std::uint16_t p) {
    const unsigned ccc = p & kCccMask;
    unsigned j = n++;
    if (ccc != 0) {
      while (j > 0 && (out_props[j - 1] & kCccMask) > ccc) {
        out[j] = out[j - 1];
        out_props[j] = out_props[j - 1];
        --j;
      }
    }
    out[j] = cp;
    out_props[j] = p;
  }

  // Canonical composition in place.
  void compose(unsigned n) {
    unsigned w = 0;
    int starter = -1;
    unsigned last_ccc = 0;
    for (unsigned i = 0; i < n; ++i) {
      const char32_t cp = out[i];
      const std::uint16_t p = out_props[i];
      const unsigned ccc = p & kCccMask;
      if (starter >= 0 && (p & kBackward) && !(last_ccc != 0 && last_ccc >= ccc)) {
        if (const char32_t c = detail::compose(out[starter], cp)) {
          out[starter] = c;
          continue;
        }
      }
      if (ccc == 0) {
        starter = static_cast<int>(w);
        last_ccc = 0;
      } else {
        last_ccc = ccc;
      }
      out[w] = cp;
      out_props[w] = p;
      ++w;
    }
    out_count = w;
  }
};

}  // namespace normkit::detail
