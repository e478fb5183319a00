// NFC and NFKC as a lazily pulled stream (UAX #15).
//
// The input is cut into normalization segments at code points that are a
// quick-check-Yes starter (ccc 0, quick check Yes in the form): nothing before
// such a code point interacts with it or anything after it, and its own
// decomposition starts with a starter that combines with nothing before it
// (tools/gen_tables.py checks this for every code point).
//
// Fast paths (pull_utf8, and next() through a queue): stretches made of Yes
// starters, each followed only by Yes non-starters in canonical order, are
// already normalized when the next Yes starter follows; they are copied
// unchanged (scan.h finds them). A short segment that needs work is
// normalized in fixed buffers (segment.h). A Maybe starter that follows a
// starter it does not compose with stays as it is.
//
// Full path: decompose each code point (Hangul algorithmically), collect the
// non-starters between two starters and sort them stably by combining class,
// then compose against the last starter (the composee) with blocking. The
// composee and the non-starters after it that did not compose stay pending
// until the next starter or segment boundary; everything before them is final.
// Memory therefore grows only with a run of non-starters.

#include <algorithm>
#include <cstring>
#include <vector>

#include "normkit/normalize.h"
#include "normkit/utf8.h"
#include "scan.h"
#include "segment.h"
#include "unicode_data.h"

namespace normkit {

using namespace detail;

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// A decomposed non-starter awaiting canonical reordering.
constexpr std::uint32_t kMarkBackward = 1u << 21;
inline std::uint32_t pack_mark(char32_t cp, std::uint16_t p) {
  return cp | ((p & kBackward) ? kMarkBackward : 0) | (static_cast<std::uint32_t>(p & kCccMask) << 24);
}

}  // namespace

struct ComposeStream::State {
  const unsigned char* pos;
  const unsigned char* end;
  FormBits bits;
  bool compat;

  // Normalized code points. [head, ready) are final and not yet handed out;
  // [ready, size) are pending: the composee (at index `composee`) and the
  // non-starters after it that did not compose with it.
  std::vector<char32_t> out;
  std::size_t head = 0;
  std::size_t ready = 0;
  std::size_t composee = kNone;
  unsigned last_ccc = 0;  // class of the last pending non-starter; 0 if none

  // Decomposed non-starters since the last starter, in input order.
  std::vector<std::uint32_t> marks;

  SmallSegment small;  // scratch of the fast paths

  State(std::string_view text, Form form)
      : pos(reinterpret_cast<const unsigned char*>(text.data())),
        end(reinterpret_cast<const unsigned char*>(text.data()) + text.size()),
        bits(form_bits(form)),
        compat(form == Form::nfkc) {}

  bool busy() const { return composee != kNone || !marks.empty(); }

  bool yes_starter(std::uint16_t p) const { return (p & bits.yes_starter_mask) == 0; }

  bool yes_starter_at(const unsigned char* p) const {
    return yes_starter(props(utf8::decode(p, end).cp));
  }

  // Composition of one decomposed, canonically ordered code point.
  void compose_one(char32_t cp, unsigned ccc, bool backward) {
    if (composee != kNone) {
      const bool blocked = last_ccc != 0 && last_ccc >= ccc;
      if (backward && !blocked) {
        if (char32_t c = compose(out[composee], cp)) {
          out[composee] = c;
          return;
        }
      }
      if (ccc == 0) {
        ready = composee = out.size();
        last_ccc = 0;
      } else {
        last_ccc = ccc;
      }
      out.push_back(cp);
      return;
    }
    out.push_back(cp);
    if (ccc == 0) {
      composee = out.size() - 1;
      last_ccc = 0;
    } else {
      ready = out.size();
    }
  }

  void flush_marks() {
    if (marks.size() > 1) {
      auto by_class = [](std::uint32_t a, std::uint32_t b) { return (a >> 24) < (b >> 24); };
      if (marks.size() <= 16) {
        for (std::size_t i = 1; i < marks.size(); ++i) {  // stable insertion sort
          const std::uint32_t m = marks[i];
          std::size_t j = i;
          for (; j > 0 && by_class(m, marks[j - 1]); --j) marks[j] = marks[j - 1];
          marks[j] = m;
        }
      } else {
        std::stable_sort(marks.begin(), marks.end(), by_class);
      }
    }
    for (std::uint32_t m : marks) compose_one(m & 0x1FFFFF, m >> 24, (m & kMarkBackward) != 0);
    marks.clear();
  }

  // At a segment boundary or the end of the input: everything becomes final.
  void flush_all() {
    flush_marks();
    ready = out.size();
    composee = kNone;
    last_ccc = 0;
  }

  void feed_decomposed(char32_t cp, std::uint16_t p) {
    if ((p & kCccMask) != 0) {
      marks.push_back(pack_mark(cp, p));
      return;
    }
    if (!marks.empty()) flush_marks();
    compose_one(cp, 0, (p & kBackward) != 0);
  }

  void feed(char32_t cp, std::uint16_t p) {
    if (p & bits.decomp_bit) {
      char32_t buf[kMaxDecomposition];
      const unsigned n = decompose(cp, compat, buf);
      for (unsigned i = 0; i < n; ++i) feed_decomposed(buf[i], props(buf[i]));
    } else {
      feed_decomposed(cp, p);
    }
  }

  // Reads one input code point into the full path; at a segment boundary
  // first makes everything pending final instead. Requires pos < end.
  void step() {
    const utf8::Decoded d = utf8::decode(pos, end);
    const std::uint16_t p = props(d.cp);
    if (yes_starter(p) && busy()) {
      flush_all();
      return;
    }
    pos += d.length;
    feed(d.cp, p);
  }

  void consumed() {
    if (head == out.size()) {
      out.clear();
      head = ready = 0;
    } else if (head >= 4096 && head * 2 >= out.size()) {
      out.erase(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(head));
      ready -= head;
      if (composee != kNone) composee -= head;
      head = 0;
    }
  }

  std::uint64_t take_utf8(std::string& dst, std::uint64_t max) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(ready - head, max));
    char buf[1024];
    std::size_t used = 0;
    for (std::size_t i = head; i < head + n; ++i) {
      if (used > sizeof buf - 4) {
        dst.append(buf, used);
        used = 0;
      }
      used += utf8::encode(out[i], buf + used);
    }
    dst.append(buf, used);
    head += n;
    consumed();
    return n;
  }

  // Appends the normalized text from pos on while it is quick to make: runs of
  // Yes starters and in-order Yes non-starters are copied unchanged, short
  // segments that need work are normalized in fixed buffers. Stops before an
  // ill-formed byte, a long segment, or max code points; returns how many it
  // appended. Requires !busy(), so that pos is a segment boundary.
  template <Form F>
  std::uint64_t fast_copy(std::string& dst, std::uint64_t max) {
    using Scan = Scanner<F>;
    constexpr FormBits kBits = Scan::kBits;
    const unsigned char* start = pos;  // [start, s.boundary) is normalized, not yet appended
    std::uint64_t appended = 0;
    ScanState s{pos, pos, 0, 0};       // s.count: code points from start to s.p
    // Code points from start up to the last boundary.
    auto at_boundary = [&] { return s.count - count_code_points(s.boundary, s.p); };
    auto finish = [&](const unsigned char* upto, std::uint64_t count) {
      dst.append(reinterpret_cast<const char*>(start), static_cast<std::size_t>(upto - start));
      pos = upto;
      return appended + count;
    };
    constexpr std::ptrdiff_t kChunk = 16384;  // copied while still in the cache
    for (;;) {
      // Scanning from s.p to limit passes at most max - appended - s.count code points.
      const std::uint64_t budget = max - appended - s.count;
      const unsigned char* const budget_limit =
          static_cast<std::uint64_t>(end - s.p) <= budget ? end : s.p + budget;
      const unsigned char* const limit = budget_limit - s.p > kChunk ? s.p + kChunk : budget_limit;
      Scan::advance(s, limit, end);
      if (s.p >= limit && limit != budget_limit) {
        const std::uint64_t count = at_boundary();
        dst.append(reinterpret_cast<const char*>(start), static_cast<std::size_t>(s.boundary - start));
        appended += count;
        s.count -= count;
        start = s.boundary;
        continue;
      }
      if (s.p >= limit) {
        if (s.p == end || yes_starter_at(s.p)) return finish(s.p, s.count);
        return finish(s.boundary, at_boundary());
      }
      // The segment from s.boundary needs normalizing, or s.p is ill-formed.
      char32_t cp = 0;
      const unsigned length = utf8::decode_valid(s.p, end, cp);
      if (length != 0 && Scan::maybe_starter_stays(s, cp, props(cp), end)) {
        s.boundary = s.p;
        s.p += length;
        s.prev_ccc = 0;
        ++s.count;
        continue;
      }
      const std::uint64_t before = at_boundary();
      const unsigned char* q = small.scan(s.boundary, s.p, end, kBits.yes_starter_mask);
      if (q == nullptr || q == s.p || !small.normalize(kBits, Scan::T::compat)) {
        return finish(s.boundary, before);
      }
      if (small.unchanged()) {
        if (appended + before + small.in_count > max) return finish(s.boundary, before);
        s = ScanState{q, q, 0, before + small.in_count};
        continue;
      }
      if (appended + before + small.out_count > max) return finish(s.boundary, before);
      dst.append(reinterpret_cast<const char*>(start), static_cast<std::size_t>(s.boundary - start));
      append_code_points(dst, small.out, small.out_count);
      appended += before + small.out_count;
      start = q;
      s = ScanState{q, q, 0, 0};
    }
  }

  // Queues the code points of the stretch from pos that is known to be
  // normalized, up to some 1024 bytes; false if there is none. Requires
  // !busy() and nothing left to hand out.
  template <Form F>
  bool queue_verified() {
    constexpr std::ptrdiff_t kBatch = 1024;
    ScanState scan{pos, pos, 0, 0};
    const unsigned char* limit = end - pos > kBatch ? pos + kBatch : end;
    Scanner<F, false>::advance(scan, limit, end);
    const unsigned char* upto =
        scan.p >= limit && (scan.p == end || yes_starter_at(scan.p)) ? scan.p : scan.boundary;
    if (upto == pos) return false;
    for (const unsigned char* p = pos; p < upto;) {
      char32_t cp = 0;
      p += utf8::decode_valid(p, upto, cp);
      out.push_back(cp);
    }
    ready = out.size();
    pos = upto;
    return true;
  }

  // next() once the final code points are all handed out.
  [[gnu::noinline]] bool next_slow(char32_t& cp) {
    for (;;) {
      consumed();
      if (head < ready) {
        cp = out[head++];
        return true;
      }
      if (pos == end) {
        if (!busy()) return false;
        flush_all();
        continue;
      }
      if (!busy()) {
        // At a boundary: queue a stretch that is already normalized, or else
        // normalize a short segment at once.
        if (compat ? queue_verified<Form::nfkc>() : queue_verified<Form::nfc>()) continue;
        const utf8::Decoded d = utf8::decode(pos, end);
        const std::uint16_t p = props(d.cp);
        const unsigned char* after = pos + d.length;
        if (d.valid) {
          const unsigned char* q = small.scan(pos, after, end, bits.yes_starter_mask);
          if (q != nullptr && small.normalize(bits, compat)) {
            out.insert(out.end(), small.out, small.out + small.out_count);
            ready = out.size();
            pos = q;
            continue;
          }
        }
        pos = after;
        feed(d.cp, p);
        continue;
      }
      step();
    }
  }

  static void append_code_points(std::string& dst, const char32_t* cps, std::size_t n) {
    char buf[4 * SmallSegment::kMaxDecomposed];
    std::size_t used = 0;
    for (std::size_t i = 0; i < n; ++i) used += utf8::encode(cps[i], buf + used);
    dst.append(buf, used);
  }
};

ComposeStream::ComposeStream(std::string_view utf8, Form form)
    : state_(std::make_unique<State>(utf8, form)) {}
ComposeStream::ComposeStream(ComposeStream&&) noexcept = default;
ComposeStream& ComposeStream::operator=(ComposeStream&&) noexcept = default;
ComposeStream::~ComposeStream() = default;

bool ComposeStream::next(char32_t& cp) {
  State* s = state_.get();
  if (s == nullptr) return false;  // moved from
  if (s->head < s->ready) {  // the common case stays small
    cp = s->out[s->head++];
    return true;
  }
  return s->next_slow(cp);
}

std::uint64_t ComposeStream::pull_utf8(std::string& out, std::uint64_t max_code_points) {
  if (!state_) return 0;  // moved from
  State& s = *state_;
  std::uint64_t n = 0;
  while (n < max_code_points) {
    if (s.head < s.ready) {
      n += s.take_utf8(out, max_code_points - n);
      continue;
    }
    if (s.pos == s.end) {
      if (!s.busy()) break;
      s.flush_all();
      continue;
    }
    if (!s.busy()) {
      n += s.compat ? s.fast_copy<Form::nfkc>(out, max_code_points - n)
                    : s.fast_copy<Form::nfc>(out, max_code_points - n);
      if (n == max_code_points || s.pos == s.end) continue;
    }
    s.step();
  }
  return n;
}

std::string normalize(std::string_view utf8, Form form) {
  std::string out;
  out.reserve(utf8.size());
  ComposeStream(utf8, form).pull_utf8(out, UINT64_MAX);
  return out;
}

}  // namespace normkit
