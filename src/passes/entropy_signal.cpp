#include "passes/entropy_signal.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "text/byte_block.h"
#include "text/utf8.h"

namespace orlenta {
namespace {

// The 64-bit float nearest to -ln 2. Dividing ln(p) * p by it turns the
// natural logarithm into bits and the negative term into a positive one.
constexpr double negative_ln2 = -0.6931471805599453;

// The term of a code point that occurs `count` times among `code_points`.
// Every way the sum gets a term leads here, so that a cached term is the
// very double this expression yields.
double entropy_term(std::uint64_t count, double code_points) {
  const double p = static_cast<double>(count) / code_points;
  return (std::log(p) * p) / negative_ln2;
}

constexpr std::size_t block_span = 128;

// Counts of the `block_span` code points from `base`. A count is only as
// wide as the prefix needs: two bytes hold the counts of any prefix of up
// to 65535 code points, which takes in the default prefix of 2000, and a
// narrow block is cheaper to clear and to search for the counts that are
// not zero.
template <class Count>
struct BlockCounts {
  char32_t base = 0;
  std::array<Count, block_span> counts;
};

// The counts of one 16-byte vector.
template <class Count>
struct CountLanes {
  typedef Count type __attribute__((vector_size(16)));
};

// Whether two-byte counts are tested with SSE2, whose saturating pack turns
// two vectors of compare results into one vector of bytes: one bit per
// count instead of two, and half the vector operations.
#if defined(__SSE2__)
constexpr bool pack_two_byte_counts = true;

// Bit i set when counts[i] is zero, for 64 two-byte counts.
inline std::uint64_t zero_two_byte_counts(const std::uint16_t* counts) {
  const __m128i zero = _mm_setzero_si128();
  std::uint64_t bits = 0;
  for (std::size_t pair = 0; pair < 4; ++pair) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(counts + 16 * pair));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(counts + 16 * pair + 8));
    const __m128i lanes = _mm_packs_epi16(_mm_cmpeq_epi16(low, zero), _mm_cmpeq_epi16(high, zero));
    bits |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(lanes))} << (16 * pair);
  }
  return bits;
}
#else
constexpr bool pack_two_byte_counts = false;
#endif

// One set bit for each code point of the block that occurs, in code point
// order, found with vector compares after counting: a set of them updated
// with every count would chain each count to the previous one through the
// word that holds its bit. A 64-bit word of the set holds the compare
// results of four vectors, `bits_per_count` bits per count, of which only
// the lowest is kept.
template <class Count>
struct OccurringSet {
  static constexpr bool packed = pack_two_byte_counts && sizeof(Count) == 2;
  static constexpr std::size_t bits_per_count = packed ? 1 : sizeof(Count);
  static constexpr std::size_t counts_per_word = 64 / bits_per_count;
  static constexpr std::size_t lanes_per_vector = 16 / sizeof(Count);
  static constexpr std::uint64_t lowest_bit_of_each_count = [] {
    std::uint64_t bits = 0;
    for (std::size_t count = 0; count < counts_per_word; ++count) bits |= std::uint64_t{1} << (count * bits_per_count);
    return bits;
  }();
  std::array<std::uint64_t, block_span / counts_per_word> words{};

  explicit OccurringSet(const Count* counts) {
    using Lanes = typename CountLanes<Count>::type;
    for (std::size_t word = 0; word < words.size(); ++word) {
      std::uint64_t zero = 0;
      if constexpr (packed) {
        zero = zero_two_byte_counts(counts + word * counts_per_word);
      } else {
        for (std::size_t vector = 0; vector < 4; ++vector) {
          Lanes lanes;
          std::memcpy(&lanes, counts + word * counts_per_word + vector * lanes_per_vector, sizeof lanes);
          zero |= lane_bits(std::bit_cast<ByteTest>(lanes == 0)) << (16 * vector);
        }
      }
      words[word] = ~zero & lowest_bit_of_each_count;
    }
  }
};

// The distinct code points of at most `max_occurrences` occurrences, each
// with its count, counted in a small hash table; once sorted, in ascending
// order. The emoji of a chat message spread over many blocks, but most of
// them, and their joiners and selectors, repeat: only the distinct ones are
// sorted.
class HashedCodePoints {
 public:
  // As many as a one-byte slot can number, which takes in a chat message
  // of up to 765 bytes: a longer list costs an allocation and a second pass.
  static constexpr std::size_t max_occurrences = 255;

  // Clears a table at most half full for `occurrences`, so that a probe
  // ends within a few slots.
  void start(std::size_t occurrences) {
    slot_bits_ = std::max(4u, static_cast<unsigned>(std::bit_width(std::max<std::size_t>(2 * occurrences, 2) - 1)));
    std::fill_n(entry_of_slot_.begin(), std::size_t{1} << slot_bits_, std::uint8_t{0});
  }

  void add(char32_t cp) {
    const std::size_t slot_mask = (std::size_t{1} << slot_bits_) - 1;
    for (std::size_t slot = (cp * std::uint32_t{0x9E3779B1}) >> (32 - slot_bits_);; slot = (slot + 1) & slot_mask) {
      const std::uint8_t entry = entry_of_slot_[slot];
      if (entry == 0) {
        entries_[size_] = (std::uint64_t{cp} << count_bits) | 1u;
        entry_of_slot_[slot] = static_cast<std::uint8_t>(++size_);
        return;
      }
      if (entries_[entry - 1] >> count_bits == cp) {
        ++entries_[entry - 1];
        return;
      }
    }
  }

  void sort() { std::sort(entries_.begin(), entries_.begin() + size_); }

  // The index of the first code point from `cp` up.
  std::size_t lower_bound(char32_t cp) const {
    return static_cast<std::size_t>(std::lower_bound(entries_.begin(), entries_.begin() + size_, std::uint64_t{cp} << count_bits) -
                                    entries_.begin());
  }
  std::size_t size() const { return size_; }
  char32_t code_point(std::size_t index) const { return static_cast<char32_t>(entries_[index] >> count_bits); }
  std::uint64_t count(std::size_t index) const { return entries_[index] & ((std::uint64_t{1} << count_bits) - 1); }

 private:
  // An entry holds a code point above its count, which is at most 255, so
  // that entries sort as their code points.
  static constexpr unsigned count_bits = 8;
  std::array<std::uint64_t, max_occurrences> entries_;
  std::array<std::uint8_t, 2 * (max_occurrences + 1)> entry_of_slot_;
  unsigned slot_bits_ = 0;
  std::size_t size_ = 0;
};

// Code points from U+0800 up outside the script block: few in most texts,
// all of them in a text whose script spreads over many blocks. A prefix
// that can hold only a few, at three bytes each or more, has them counted
// by hash as they come; a longer one lists them on the heap, to be sorted
// once.
class OtherCodePoints {
 public:
  explicit OtherCodePoints(std::uint64_t most) : most_(most) {}

  bool hashed() const { return most_ <= HashedCodePoints::max_occurrences; }

  // Called at the first code point from U+0800 up.
  void start() {
    if (hashed()) {
      hashed_.start(static_cast<std::size_t>(most_));
    } else {
      listed_ = std::make_unique_for_overwrite<char32_t[]>(static_cast<std::size_t>(most_));
    }
  }

  void add(char32_t cp) {
    if (hashed()) {
      hashed_.add(cp);
    } else {
      listed_[listed_size_++] = cp;
    }
  }

  // Whether the code points are hashed once all are counted and finish()
  // has been called.
  bool all_hashed() const { return hashed() || listed_size_ <= HashedCodePoints::max_occurrences; }

  // Whether the code points, all counted, are hashed: a list that came out
  // short is hashed now.
  bool finish() {
    if (hashed()) return true;
    if (!all_hashed()) return false;
    hashed_.start(listed_size_);
    for (std::size_t i = 0; i < listed_size_; ++i) hashed_.add(listed_[i]);
    return true;
  }

  HashedCodePoints& hashed_code_points() { return hashed_; }
  const HashedCodePoints& hashed_code_points() const { return hashed_; }
  char32_t* begin() { return listed_.get(); }
  char32_t* end() { return listed_.get() + listed_size_; }
  std::size_t listed_size() const { return listed_size_; }

 private:
  std::uint64_t most_;
  HashedCodePoints hashed_;
  std::unique_ptr<char32_t[]> listed_;
  std::size_t listed_size_ = 0;
};

// The code points of two bytes in UTF-8 (U+0080 to U+07FF: Latin beyond
// ASCII, Greek, Cyrillic, Armenian, Hebrew, Arabic and a few more), counted
// in blocks of 128 that are each cleared when their first code point comes.
template <class Count>
struct TwoByteCounts {
  static constexpr std::size_t blocks = 16;
  std::array<Count, blocks * block_span> counts;
  // One bit per block, set once the block is cleared; block 0 is ASCII's.
  std::uint32_t used = 0;

  void count(char32_t cp) {
    const std::uint32_t block = std::uint32_t{1} << (cp / block_span);
    if ((used & block) == 0) {
      used |= block;
      std::fill_n(counts.begin() + (cp & ~char32_t{block_span - 1}), block_span, Count{0});
    }
    ++counts[cp];
  }
};

// U+1F000 to U+1FFFF: the emoji, the regional indicators of flags and the
// other pictographs, which make most of a chat message's code points from
// U+0800, counted here with neither hashing nor sorting. They are few and
// scattered over many blocks, so each count comes with a bit that tells it
// is in use, rather than blocks being cleared and searched for counts.
template <class Count>
struct EmojiCounts {
  static constexpr char32_t first = 0x1F000;
  static constexpr std::size_t span = 0x1000;
  static constexpr std::size_t word_bits = 64;

  // Bit i of word w set when U+1F000 + 64 w + i occurs, whose count is then
  // in `counts`; a word is cleared with its first code point, which sets
  // its bit in `words_used`.
  std::array<Count, span> counts;
  std::array<std::uint64_t, span / word_bits> occurring;
  std::uint64_t words_used = 0;

  // Counts U+1F000 + `index`.
  void count(std::size_t index) {
    const std::size_t word = index / word_bits;
    if (((words_used >> word) & 1) == 0) {
      words_used |= std::uint64_t{1} << word;
      occurring[word] = 0;
    }
    const std::uint64_t bit = std::uint64_t{1} << (index % word_bits);
    counts[index] = (occurring[word] & bit) != 0 ? static_cast<Count>(counts[index] + 1) : Count{1};
    occurring[word] |= bit;
  }

  // Adds the terms of the code points that occur to `h`, in order.
  template <class Terms>
  double add_terms(double h, const Terms& terms) const {
    for (std::uint64_t words = words_used; words != 0; words &= words - 1) {
      const auto word = static_cast<unsigned>(std::countr_zero(words));
      for (std::uint64_t bits = occurring[word]; bits != 0; bits &= bits - 1) {
        h = h + terms.term(counts[word * word_bits + static_cast<unsigned>(std::countr_zero(bits))]);
      }
    }
    return h;
  }
};

// Code point frequencies of the prefix. ASCII, the code points of two
// bytes, the emoji and, above the two-byte ones, the block of 128 of the
// first other code point of three or four bytes are counted in flat arrays;
// text is mostly ASCII and one other script, whose letters usually share
// such a block. The remaining code points are collected, to be put in order
// once, when the terms are summed.
// The blocks are only cleared once a text has such a code point: a short
// message is often all ASCII.
template <class Count>
struct FrequencyTable {
  explicit FrequencyTable(std::uint64_t most_others) : other(most_others) {}

  // Counts of every byte value; those of the ASCII bytes are the code
  // points'.
  std::array<Count, 256> bytes{};
  TwoByteCounts<Count> two_byte;
  EmojiCounts<Count> emoji;
  BlockCounts<Count> script;
  bool has_script = false;
  OtherCodePoints other;

  // Counts a code point from U+0800 up outside the emoji, so that the
  // script block never lies among them.
  void count_above_two_bytes(char32_t cp) {
    if (!has_script) {
      has_script = true;
      script.base = cp & ~char32_t{block_span - 1};
      script.counts.fill(0);
      other.start();
    }
    const char32_t index = cp - script.base;
    if (index < block_span) {
      ++script.counts[index];
    } else {
      other.add(cp);
    }
  }

  // Counts the code point that starts with the byte at `p`, from 0xC0 up,
  // and returns its number of continuation bytes. The code points from
  // U+1F000 to U+1FFFF are those that start with 0xF0 0x9F.
  std::size_t count_outside_ascii(const char* p) {
    const auto lead = static_cast<unsigned char>(p[0]);
    if (lead < 0xE0) {
      two_byte.count((char32_t{lead & 0x1Fu} << 6) | (static_cast<unsigned char>(p[1]) & 0x3Fu));
      return 1;
    }
    if (lead == 0xF0 && static_cast<unsigned char>(p[1]) == 0x9F) {
      emoji.count(((static_cast<unsigned char>(p[2]) & 0x3Fu) << 6) | (static_cast<unsigned char>(p[3]) & 0x3Fu));
      return 3;
    }
    std::size_t length = 0;
    count_above_two_bytes(decode_utf8(p, length));
    return length - 1;
  }
};

// Counts the sixteen bytes at `p` and decodes the code points that start
// among them outside ASCII. Every byte goes to the table of byte values,
// with no test, so that ASCII costs a load and an add a byte; the other
// bytes' counts are never read. The code points outside ASCII start at the
// bytes from 0xC0 up, and their continuation bytes lie in the span, past
// the block if need be. Returns the number of those continuation bytes.
template <class Count>
[[gnu::always_inline]] inline std::size_t count_block(const char* p, FrequencyTable<Count>& table) {
  for (std::size_t i = 0; i < block_size; ++i) ++table.bytes[static_cast<unsigned char>(p[i])];
  const ByteTest bytes = std::bit_cast<ByteTest>(load_block(p));
  if (lane_bits(bytes) == 0) return 0;
  std::size_t continuation_bytes = 0;
  // From 0xC0 up: the signed bytes from -64 up that are negative.
  for (std::uint64_t leads = lane_bits(bytes & (bytes > -65)); leads != 0; leads &= leads - 1) {
    continuation_bytes += table.count_outside_ascii(p + std::countr_zero(leads));
  }
  return continuation_bytes;
}

// Counts the code points of [p, end), which starts and ends between code
// points, into `table`, and returns their number: its bytes less the
// continuation bytes. The last bytes short of a block are counted as a
// block padded with NUL bytes, whose count then drops the padding.
template <class Count>
std::uint64_t count_span(const char* p, const char* const end, FrequencyTable<Count>& table) {
  const std::size_t span_bytes = static_cast<std::size_t>(end - p);
  std::size_t continuation_bytes = 0;
  for (; static_cast<std::size_t>(end - p) >= block_size; p += block_size) continuation_bytes += count_block(p, table);
  const std::size_t rest = static_cast<std::size_t>(end - p);
  if (rest != 0) {
    std::array<char, block_size> padded{};
    std::memcpy(padded.data(), p, rest);
    continuation_bytes += count_block(padded.data(), table);
    table.bytes[0] = static_cast<Count>(table.bytes[0] - (block_size - rest));
  }
  return span_bytes - continuation_bytes;
}

struct Prefix {
  std::uint64_t code_points = 0;
  std::size_t bytes = 0;
};

// Counts the first `limit` code points of `text` into `table`. A span of as
// many bytes as code points are still wanted holds at most that many, once
// the code point it cuts is taken in whole: the prefix is counted span by
// span, with no test of the limit per code point. An ASCII prefix takes
// one span.
template <class Count>
Prefix count_prefix(std::string_view text, std::uint64_t limit, FrequencyTable<Count>& table) {
  const char* const data = text.data();
  const std::size_t size = text.size();
  Prefix prefix;
  while (prefix.code_points < limit && prefix.bytes < size) {
    std::size_t span_end = prefix.bytes + static_cast<std::size_t>(std::min<std::uint64_t>(size - prefix.bytes, limit - prefix.code_points));
    while (span_end < size && (static_cast<unsigned char>(data[span_end]) & 0xC0u) == 0x80u) ++span_end;
    prefix.code_points += count_span(data + prefix.bytes, data + span_end, table);
    prefix.bytes = span_end;
  }
  return prefix;
}

// Sorts a long list of code points, such as the prefix of a text in a
// script spread over many blocks, by their three seven-bit digits (code
// points have 21 bits), least significant first, where comparison sorting
// would mispredict a branch per comparison. A digit that every code point
// shares takes no pass.
void sort_code_points(char32_t* const values, const std::size_t size) {
  constexpr unsigned digit_bits = 7;
  constexpr std::size_t radix = std::size_t{1} << digit_bits;
  const auto digit = [](char32_t value, unsigned position) {
    return (value >> (digit_bits * position)) & (radix - 1);
  };
  std::array<std::array<std::size_t, radix>, 3> counts{};
  for (std::size_t i = 0; i < size; ++i) {
    for (unsigned position = 0; position < 3; ++position) ++counts[position][digit(values[i], position)];
  }
  std::vector<char32_t> scratch(size);
  char32_t* from = values;
  char32_t* to = scratch.data();
  for (unsigned position = 0; position < 3; ++position) {
    std::array<std::size_t, radix>& next_slot = counts[position];
    if (next_slot[digit(from[0], position)] == size) continue;
    std::size_t start = 0;
    for (std::size_t& slot : next_slot) start += std::exchange(slot, start);
    for (std::size_t i = 0; i < size; ++i) to[next_slot[digit(from[i], position)]++] = from[i];
    std::swap(from, to);
  }
  if (from != values) std::copy(from, from + size, values);
}

// The terms of one prefix length, slot c holding the bits of the term of
// count c, or 0 while it is unknown: a term is never +0.0 (it is -0.0 when
// one code point makes the whole prefix, positive otherwise). A term is a
// pure function of the count and the prefix length, so every thread may
// fill in and read any slot: the value itself is what is published.
struct alignas(64) TermRow {
  static constexpr std::uint64_t counts = 64;
  std::array<std::atomic<std::uint64_t>, counts> slots{};
};

// Rows for the prefix lengths below 2048, which take in the default
// prefix of 2000 code points and every message shorter than it: these
// lengths recur from one text to the next, so that most terms of a short
// message are found, not worked out with a logarithm. A row is 512 bytes,
// and only the rows of the lengths that occur are ever touched.
constexpr std::size_t shared_term_rows = 2048;
constinit std::array<TermRow, shared_term_rows> shared_terms{};

// The terms of one prefix length, from its shared row or, for a longer
// prefix, from a row of the call's own. Held by value, so that the row's
// address stays in a register while terms are stored.
struct TermSource {
  double code_points;
  TermRow* row;

  double term(std::uint64_t count) const {
    if (count >= TermRow::counts) return entropy_term(count, code_points);
    std::atomic<std::uint64_t>& slot = row->slots[count];
    std::uint64_t bits = slot.load(std::memory_order_relaxed);
    if (bits == 0) {
      bits = std::bit_cast<std::uint64_t>(entropy_term(count, code_points));
      slot.store(bits, std::memory_order_relaxed);
    }
    return std::bit_cast<double>(bits);
  }
};

// Floating-point addition is not associative, so the terms are added in
// ascending code point order, the order of an ordered map, one term per
// distinct code point: each of these adds its terms to `h` and returns it.
template <class Count>
double add_block_terms(double h, const TermSource terms, const Count* const counts) {
  using Set = OccurringSet<Count>;
  const Set occurring(counts);
  for (std::size_t word = 0; word < occurring.words.size(); ++word) {
    const Count* const word_counts = counts + word * Set::counts_per_word;
    for (std::uint64_t bits = occurring.words[word]; bits != 0; bits &= bits - 1) {
      h = h + terms.term(word_counts[static_cast<unsigned>(std::countr_zero(bits)) / Set::bits_per_count]);
    }
  }
  return h;
}

// The sorted code points of [from, to) hold runs of equal ones.
double add_sorted_terms(double h, const TermSource terms, const char32_t* from, const char32_t* to) {
  std::uint64_t count = 0;
  for (const char32_t* p = from; p != to; ++p) {
    ++count;
    if (p + 1 == to || p[1] != p[0]) {
      h = h + terms.term(count);
      count = 0;
    }
  }
  return h;
}

double add_hashed_terms(double h, const TermSource terms, const HashedCodePoints& distinct, std::size_t from, std::size_t to) {
  for (std::size_t index = from; index < to; ++index) h = h + terms.term(distinct.count(index));
  return h;
}

// The terms of the script block and of the emoji, which lie apart, each
// added once the other code points below it have been: `add_others_below(h,
// bound)` adds those below `bound` not yet added and returns the sum, for
// bounds that only rise.
template <class Count, class AddOthersBelow>
double add_block_and_emoji_terms(double h, const TermSource terms, const FrequencyTable<Count>& table,
                                 AddOthersBelow&& add_others_below) {
  const auto add_script = [&] {
    h = add_others_below(h, table.script.base);
    h = add_block_terms(h, terms, table.script.counts.data());
  };
  const auto add_emoji = [&] {
    h = add_others_below(h, EmojiCounts<Count>::first);
    h = table.emoji.add_terms(h, terms);
  };
  if (table.script.base < EmojiCounts<Count>::first) {
    add_script();
    add_emoji();
  } else {
    add_emoji();
    add_script();
  }
  return h;
}

// ASCII first, then the code points of two bytes, then from U+0800 the
// other code points, the script block and the emoji, each range in order.
template <class Count>
double entropy_bits(FrequencyTable<Count>& table, std::uint64_t code_points) {
  if (code_points == 0) return 0.0;
  std::unique_ptr<TermRow> own_row;
  if (code_points >= shared_term_rows) own_row = std::make_unique<TermRow>();
  const TermSource terms{static_cast<double>(code_points),
                         own_row ? own_row.get() : &shared_terms[code_points]};
  double h = add_block_terms(+0.0, terms, table.bytes.data());
  for (std::uint32_t used = table.two_byte.used; used != 0; used &= used - 1) {
    h = add_block_terms(h, terms, table.two_byte.counts.data() + block_span * static_cast<unsigned>(std::countr_zero(used)));
  }
  if (!table.has_script) return table.emoji.add_terms(h, terms);
  OtherCodePoints& other = table.other;
  if (other.finish()) {
    HashedCodePoints& distinct = other.hashed_code_points();
    distinct.sort();
    std::size_t added = 0;
    h = add_block_and_emoji_terms(h, terms, table, [&](double sum, char32_t bound) {
      const std::size_t below = distinct.lower_bound(bound);
      sum = add_hashed_terms(sum, terms, distinct, added, below);
      added = below;
      return sum;
    });
    return add_hashed_terms(h, terms, distinct, added, distinct.size());
  }
  sort_code_points(other.begin(), other.listed_size());
  char32_t* added = other.begin();
  h = add_block_and_emoji_terms(h, terms, table, [&](double sum, char32_t bound) {
    char32_t* const below = std::lower_bound(added, other.end(), bound);
    sum = add_sorted_terms(sum, terms, added, below);
    added = below;
    return sum;
  });
  return add_sorted_terms(h, terms, added, other.end());
}

// Whether the whole text holds more than `min_chars` code points. The
// prefix's count often settles it; otherwise only the rest is counted.
bool longer_than(std::string_view text, const Prefix& prefix, std::uint64_t min_chars) {
  if (prefix.code_points > min_chars) return true;
  return prefix.code_points + count_code_points(text.substr(prefix.bytes)) > min_chars;
}

// Lists the distinct code points outside ASCII but for the emoji in
// `census`, once the terms are summed, unless there are more than it holds
// or they are in a long list, which the summing sorted but did not gather.
template <class Count>
void list_distinct_outside_ascii(const FrequencyTable<Count>& table, TextCensus& census) {
  std::size_t size = 0;
  // Writes past the end go to the last place and only mark the list too
  // long, so that adding takes no branch.
  const auto add = [&census, &size](char32_t cp) {
    census.distinct[std::min(size, TextCensus::max_distinct - 1)] = cp;
    ++size;
  };
  const auto add_block = [&add](const Count* counts, char32_t base) {
    using Set = OccurringSet<Count>;
    const Set occurring(counts);
    for (std::size_t word = 0; word < occurring.words.size(); ++word) {
      for (std::uint64_t bits = occurring.words[word]; bits != 0; bits &= bits - 1) {
        add(base + static_cast<char32_t>(word * Set::counts_per_word +
                                         static_cast<unsigned>(std::countr_zero(bits)) / Set::bits_per_count));
      }
    }
  };
  for (std::uint32_t used = table.two_byte.used; used != 0; used &= used - 1) {
    const char32_t base = block_span * static_cast<unsigned>(std::countr_zero(used));
    add_block(table.two_byte.counts.data() + base, base);
  }
  if (table.has_script) {
    if (!table.other.all_hashed()) return;
    add_block(table.script.counts.data(), table.script.base);
    const HashedCodePoints& others = table.other.hashed_code_points();
    for (std::size_t index = 0; index < others.size(); ++index) add(others.code_point(index));
  }
  if (size > TextCensus::max_distinct) return;
  census.distinct_listed = true;
  census.distinct_size = size;
}

// The lead bytes that occur, one bit each from 0xC0 up, from the counts of
// every byte value. A lead byte's count is that of code points, which the
// counts hold without wrapping, unlike the counts of continuation bytes.
template <class Count>
std::uint64_t occurring_lead_bytes(const std::array<Count, 256>& bytes) {
  constexpr std::size_t first_lead = 0xC0;
#if defined(__SSE2__)
  if constexpr (sizeof(Count) == 2) return ~zero_two_byte_counts(bytes.data() + first_lead);
#endif
  std::uint64_t leads = 0;
  for (std::size_t lead = 0; lead < 64; ++lead) leads |= std::uint64_t{bytes[first_lead + lead] != 0} << lead;
  return leads;
}

// The counts of the bytes from '0' to 'Z'. Two-byte counts of a whole
// text add up to no more than its code points, which two bytes hold, so
// they are added in eight two-byte lanes.
template <class Count>
std::uint64_t digit_to_upper_bytes(const std::array<Count, 256>& bytes) {
  constexpr std::size_t last = 'Z';
  std::size_t byte = '0';
  std::uint64_t sum = 0;
  if constexpr (sizeof(Count) == 2) {
    using Lanes = typename CountLanes<Count>::type;
    Lanes lanes{};
    for (; byte + 8 <= last + 1; byte += 8) {
      Lanes counts;
      std::memcpy(&counts, bytes.data() + byte, sizeof counts);
      lanes += counts;
    }
    for (std::size_t lane = 0; lane < 8; ++lane) sum += lanes[lane];
  }
  for (; byte <= last; ++byte) sum += bytes[byte];
  return sum;
}

struct PrefixMeasure {
  double entropy = 0.0;
  Prefix prefix;
};

// The entropy of the first `limit` code points of `text`, with counts of
// type `Count`, which must hold the number of code points of that prefix.
template <class Count>
PrefixMeasure measure_prefix(std::string_view text, std::uint64_t limit, FrequencyTable<Count>& table,
                             std::uint64_t lead_bytes_to_list, TextCensus& census) {
  PrefixMeasure measure;
  measure.prefix = count_prefix(text, limit, table);
  measure.entropy = entropy_bits(table, measure.prefix.code_points);
  census.whole_text = measure.prefix.bytes == text.size();
  census.distinct_listed = false;
  if (census.whole_text) {
    census.code_points = measure.prefix.code_points;
    census.lead_bytes = occurring_lead_bytes(table.bytes);
    census.digit_to_upper_bytes = digit_to_upper_bytes(table.bytes);
    if ((census.lead_bytes & lead_bytes_to_list) != 0) list_distinct_outside_ascii(table, census);
  }
  return measure;
}

// A code point from U+0800 up takes three bytes or more.
std::uint64_t most_from_u0800(std::string_view text, std::uint64_t limit) { return std::min<std::uint64_t>(limit, text.size() / 3); }

}  // namespace

EntropySignals measure_entropy(std::string_view output, const SignalSpec& signals) {
  TextCensus census;
  return measure_entropy_and_census(output, signals, 0, census);
}

EntropySignals measure_entropy_and_census(std::string_view output, const SignalSpec& signals,
                                          std::uint64_t lead_bytes_to_list, TextCensus& census) {
  // A prefix holds no more code points than bytes.
  const std::uint64_t limit = signals.entropy_prefix_chars;
  const bool narrow = std::min<std::uint64_t>(limit, output.size()) <= std::numeric_limits<std::uint16_t>::max();
  const PrefixMeasure measure = [&] {
    if (narrow) {
      FrequencyTable<std::uint16_t> table(most_from_u0800(output, limit));
      return measure_prefix(output, limit, table, lead_bytes_to_list, census);
    }
    // Wide counts only serve a prefix of more than 65535 code points, next
    // to which an allocation costs nothing; on the stack they would make a
    // large frame.
    const auto table = std::make_unique<FrequencyTable<std::uint64_t>>(most_from_u0800(output, limit));
    return measure_prefix(output, limit, *table, lead_bytes_to_list, census);
  }();
  EntropySignals measured;
  measured.entropy = measure.entropy;
  measured.high = measured.entropy > signals.entropy_prefix_threshold &&
                  longer_than(output, measure.prefix, signals.entropy_prefix_min_chars);
  return measured;
}

void write_entropy_stats(StatsMap& stats, const EntropySignals& measured) {
  stats.add("entropy_2000", measured.entropy);
}

void flag_high_entropy(SanitizeReport& report, const EntropySignals& measured) {
  if (measured.high) bump_flagged(report, "high_entropy", 1);
}

}  // namespace orlenta
