// Quick check (UAX #15, section 9), exact check, and single code point lookups.

#include <cstring>
#include <string>

#include "normkit/normalize.h"
#include "normkit/utf8.h"
#include "segment.h"
#include "unicode_data.h"

namespace normkit {

using namespace detail;

namespace {

inline bool ascii8(const unsigned char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  return (w & 0x8080808080808080ull) == 0;
}

inline const unsigned char* skip_ascii(const unsigned char* p, const unsigned char* end) {
  while (end - p >= 8 && ascii8(p)) p += 8;
  while (p < end && *p < 0x80) ++p;
  return p;
}

// Whether the piece, which starts and ends at segment boundaries, is its own
// normalized form; compared while it is normalized, in bounded memory.
bool normalizes_to_itself(std::string_view piece, Form form) {
  constexpr std::uint64_t kChunk = 1024;
  ComposeStream stream(piece, form);
  std::string buf;
  std::size_t matched = 0;
  for (;;) {
    buf.clear();
    const std::uint64_t got = stream.pull_utf8(buf, kChunk);
    if (buf.size() > piece.size() - matched ||
        std::memcmp(buf.data(), piece.data() + matched, buf.size()) != 0) {
      return false;
    }
    matched += buf.size();
    if (got < kChunk) return matched == piece.size();
  }
}

// The quick check of UAX #15 over the properties, with the stretches that it
// finds Maybe normalized on the spot when they are short (and, when `exact`,
// also when they are long), so that an unnormalized text is caught early.
QuickCheck check(std::string_view utf8, Form form, bool exact) {
  const FormBits bits = form_bits(form);
  const auto* const begin = reinterpret_cast<const unsigned char*>(utf8.data());
  const auto* const end = begin + utf8.size();
  const unsigned char* p = begin;
  const unsigned char* boundary = begin;      // start of the last Yes starter
  const unsigned char* unresolved = begin;    // Maybe up to here stays maybe
  unsigned prev_ccc = 0;
  QuickCheck result = QuickCheck::yes;
  SmallSegment small;
  while (p < end) {
    if (*p < 0x80) {
      p = skip_ascii(p, end);
      boundary = p - 1;
      prev_ccc = 0;
      continue;
    }
    const utf8::Decoded d = utf8::decode(p, end);
    if (!d.valid) return QuickCheck::no;  // normalizing replaces the byte
    const std::uint16_t v = props(d.cp);
    if ((v & bits.yes_starter_mask) == 0) {
      boundary = p;
      p += d.length;
      prev_ccc = 0;
      continue;
    }
    const unsigned ccc = v & kCccMask;
    if (ccc != 0 && prev_ccc > ccc) return QuickCheck::no;
    const unsigned qc = (v >> bits.qc_shift) & 3;
    if (qc == kQcNo) return QuickCheck::no;
    if (qc == kQcMaybe && p >= unresolved) {
      const unsigned char* q = small.scan(boundary, p, end, bits.yes_starter_mask);
      if (q != nullptr && small.normalize(bits, form == Form::nfkc)) {
        if (!small.unchanged()) return QuickCheck::no;
      } else {
        for (q = p; q < end;) {  // the end of the long stretch
          const utf8::Decoded n = utf8::decode(q, end);
          if (!n.valid || (q > p && (props(n.cp) & bits.yes_starter_mask) == 0)) break;
          q += n.length;
        }
        if (!exact) {
          result = QuickCheck::maybe;
          unresolved = q;
          prev_ccc = ccc;
          p += d.length;
          continue;
        }
        const std::string_view piece(reinterpret_cast<const char*>(boundary),
                                     static_cast<std::size_t>(q - boundary));
        if (!normalizes_to_itself(piece, form)) return QuickCheck::no;
      }
      p = boundary = q;
      prev_ccc = 0;
      continue;
    }
    prev_ccc = ccc;
    p += d.length;
  }
  return result;
}

}  // namespace

QuickCheck quick_check(std::string_view utf8, Form form) { return check(utf8, form, false); }

bool is_normalized(std::string_view utf8, Form form) {
  return check(utf8, form, true) == QuickCheck::yes;
}

bool is_mark(char32_t cp) { return (props(cp) & kMark) != 0; }

std::uint8_t combining_class(char32_t cp) { return static_cast<std::uint8_t>(props(cp) & kCccMask); }

}  // namespace normkit
