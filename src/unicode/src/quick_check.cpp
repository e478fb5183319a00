// Quick check (UAX #15, section 9), exact check, and single code point lookups.

#include <cstring>
#include <string>

#include "normkit/normalize.h"
#include "normkit/utf8.h"
#include "scan.h"
#include "segment.h"
#include "unicode_data.h"

namespace normkit {

using namespace detail;

namespace {

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
template <Form F>
QuickCheck check(std::string_view utf8, bool exact) {
  using Scan = Scanner<F, false>;
  constexpr FormBits bits = Scan::kBits;
  const auto* const begin = reinterpret_cast<const unsigned char*>(utf8.data());
  const auto* const end = begin + utf8.size();
  ScanState s{begin, begin, 0, 0};
  const unsigned char* unresolved = begin;  // Maybe up to here stays maybe
  QuickCheck result = QuickCheck::yes;
  SmallSegment small;
  for (;;) {
    Scan::advance(s, end, end);
    if (s.p >= end) return result;
    // The scan stopped at s.p: ill-formed, No, out of order, or Maybe.
    char32_t cp = 0;
    const unsigned length = utf8::decode_valid(s.p, end, cp);
    if (length == 0) return QuickCheck::no;  // normalizing replaces the byte
    const std::uint16_t v = props(cp);
    const unsigned ccc = v & kCccMask;
    const unsigned qc = (v >> bits.qc_shift) & 3;
    if (qc == kQcNo || (ccc != 0 && s.prev_ccc > ccc)) return QuickCheck::no;
    if (Scan::maybe_starter_stays(s, cp, v, end)) {
      s.boundary = s.p;
      s.p += length;
      s.prev_ccc = 0;
      continue;
    }
    if (s.p >= unresolved) {
      const unsigned char* q = small.scan(s.boundary, s.p, end, bits.yes_starter_mask);
      if (q != nullptr && small.normalize(bits, Scan::T::compat)) {
        if (!small.unchanged()) return QuickCheck::no;
        s = ScanState{q, q, 0, 0};
        continue;
      }
      for (q = s.p + length; q < end;) {  // the end of the long stretch
        const utf8::Decoded n = utf8::decode(q, end);
        if (!n.valid || (props(n.cp) & bits.yes_starter_mask) == 0) break;
        q += n.length;
      }
      if (exact) {
        const std::string_view piece(reinterpret_cast<const char*>(s.boundary),
                                     static_cast<std::size_t>(q - s.boundary));
        if (!normalizes_to_itself(piece, F)) return QuickCheck::no;
        s = ScanState{q, q, 0, 0};
        continue;
      }
      result = QuickCheck::maybe;
      unresolved = q;
    }
    // Inside a long Maybe stretch: go on looking for a No.
    s.prev_ccc = ccc;
    s.p += length;
  }
}

}  // namespace

QuickCheck quick_check(std::string_view utf8, Form form) {
  return form == Form::nfc ? check<Form::nfc>(utf8, false) : check<Form::nfkc>(utf8, false);
}

bool is_normalized(std::string_view utf8, Form form) {
  const QuickCheck qc =
      form == Form::nfc ? check<Form::nfc>(utf8, true) : check<Form::nfkc>(utf8, true);
  return qc == QuickCheck::yes;
}

bool has_boundary_before(char32_t cp, Form form) { return (props(cp) & form_bits(form).yes_starter_mask) == 0; }

bool is_mark(char32_t cp) { return (props(cp) & kMark) != 0; }

std::uint8_t combining_class(char32_t cp) { return static_cast<std::uint8_t>(props(cp) & kCccMask); }

}  // namespace normkit
