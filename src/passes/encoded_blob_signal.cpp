#include "passes/encoded_blob_signal.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "classes/whitespace.h"
#include "text/block_reader.h"
#include "text/byte_block.h"
#include "text/utf8.h"

namespace orlenta {
namespace {

// Lengths of the tokens that the line test accepts as lines of a wrapped
// blob: shorter ones are ordinary words, longer ones exceed the usual
// 64- and 76-column wrapping of encoders.
constexpr std::uint64_t min_line_length = 4;
constexpr std::uint64_t max_line_length = 76;

// The first four kinds are the blob classes of the standard and URL-safe
// base64 alphabets with the pad character; they index the class counts.
enum Kind : std::uint8_t { upper, lower, digit, symbol, whitespace, other };

constexpr std::array<Kind, 128> ascii_kinds = [] {
  std::array<Kind, 128> kinds{};
  for (auto& kind : kinds) kind = other;
  for (char c = 'A'; c <= 'Z'; ++c) kinds[static_cast<std::size_t>(c)] = upper;
  for (char c = 'a'; c <= 'z'; ++c) kinds[static_cast<std::size_t>(c)] = lower;
  for (char c = '0'; c <= '9'; ++c) kinds[static_cast<std::size_t>(c)] = digit;
  for (const char c : {'+', '/', '-', '_', '='}) kinds[static_cast<std::size_t>(c)] = symbol;
  for (const char c : {'\t', '\n', '\v', '\f', '\r', ' '}) kinds[static_cast<std::size_t>(c)] = whitespace;
  return kinds;
}();

// One window entry: the blob class in the low two bits and, above them,
// whether its code point came directly after whitespace. An enumeration
// rather than a character type, so that stores into the window do not count
// as possible writes to the scan's counters.
enum class WindowEntry : std::uint8_t {};

constexpr std::uint8_t follows_whitespace_bit = 4;

constexpr WindowEntry make_entry(Kind kind, bool follows_whitespace) {
  return static_cast<WindowEntry>(kind | (follows_whitespace ? follows_whitespace_bit : 0));
}

constexpr Kind entry_class(WindowEntry entry) { return static_cast<Kind>(static_cast<std::uint8_t>(entry) & 3u); }

constexpr bool entry_follows_whitespace(WindowEntry entry) {
  return (static_cast<std::uint8_t>(entry) & follows_whitespace_bit) != 0;
}

// The state of the wrapped test: the window test and the line test. The
// window holds the last `width` alphabet code points since the segment
// began in a ring buffer that fills from index 0, so `oldest` stays 0 until
// it is full. The buffer is owned by the caller and allocated once.
struct WrappedTest {
  std::uint64_t width = 0;
  WindowEntry* window = nullptr;
  std::uint64_t window_size = 0;
  std::uint64_t oldest = 0;
  std::array<std::uint64_t, 4> class_counts{};
  // Window entries whose code point came directly after whitespace.
  std::uint64_t boundaries = 0;
  bool follows_whitespace = false;
  std::uint64_t token_length = 0;
  bool token_all_upper = true;
  std::uint64_t previous_line_length = 0;
  std::uint64_t line_total = 0;
};

// Whether a full window's class make-up looks like base64 rather than text
// that merely happens to use the alphabet: enough of both letter cases, or
// letters with digits, or upper case with a symbol.
bool window_looks_encoded(const WrappedTest& test) {
  const std::uint64_t w = test.width;
  const std::uint64_t u = test.class_counts[upper];
  const std::uint64_t lo = test.class_counts[lower];
  const std::uint64_t d = test.class_counts[digit];
  const std::uint64_t s = test.class_counts[symbol];
  return (u * 5 >= w && lo * 10 >= w) || ((u + lo) * 4 >= w && d * 8 >= w) ||
         (s >= 1 && u * 8 >= w && (u + lo) * 2 >= w);
}

// Whitespace ends the current token. Consecutive all-capital tokens of one
// length between 4 and 76 adding up to the window width are a wrapped blob;
// returns true then.
bool end_token(WrappedTest& test) {
  test.follows_whitespace = true;
  if (test.token_length == 0) return false;
  const std::uint64_t length = test.token_length;
  const bool is_line = test.token_all_upper && length >= min_line_length && length <= max_line_length;
  test.token_length = 0;
  test.token_all_upper = true;
  if (!is_line) {
    test.previous_line_length = 0;
    test.line_total = 0;
    return false;
  }
  test.line_total = length == test.previous_line_length ? test.line_total + length : length;
  test.previous_line_length = length;
  return test.line_total >= test.width && test.line_total >= 2 * length;
}

// Adds one alphabet code point to the token and the window. A full window
// that spans a whitespace break (some entry other than the oldest starts a
// token) and has a base64-like make-up is a wrapped blob; returns true then.
bool add_alphabet(WrappedTest& test, Kind kind) {
  ++test.token_length;
  test.token_all_upper = test.token_all_upper && kind == upper;

  const WindowEntry entry = make_entry(kind, test.follows_whitespace);
  test.boundaries += test.follows_whitespace;
  test.follows_whitespace = false;
  ++test.class_counts[kind];
  if (test.window_size < test.width) {
    test.window[test.window_size++] = entry;
    if (test.window_size < test.width) return false;
  } else {
    const WindowEntry evicted = test.window[test.oldest];
    --test.class_counts[entry_class(evicted)];
    test.boundaries -= entry_follows_whitespace(evicted);
    test.window[test.oldest] = entry;
    test.oldest = test.oldest + 1 == test.width ? 0 : test.oldest + 1;
  }
  const bool oldest_follows_whitespace = entry_follows_whitespace(test.window[test.oldest]);
  return test.boundaries != (oldest_follows_whitespace ? 1u : 0u) && window_looks_encoded(test);
}

// The kind of the code point at `i` and its length in bytes.
Kind kind_at(std::string_view text, std::size_t i, std::size_t& length) {
  const auto lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x80) {
    length = 1;
    return ascii_kinds[lead];
  }
  return is_white_space(decode_utf8(text.data() + i, length)) ? whitespace : other;
}

// Any code point outside the alphabet and whitespace separates unrelated
// material: the wrapped test starts over after it. So the text falls into
// segments, the stretches between such code points, each tested from the
// starting state on its own; a text is wrapped when one of its segments is.
//
// The wrapped test of the segment that starts at `start`: true at the first
// detection, false when the segment ends without one. The end of the text
// closes the last token as a space would.
bool segment_is_wrapped(std::string_view text, std::size_t start, WrappedTest& test) {
  for (std::size_t i = start; i < text.size();) {
    std::size_t length = 0;
    const Kind kind = kind_at(text, i, length);
    if (kind <= symbol) {
      if (add_alphabet(test, kind)) return true;
    } else if (kind == whitespace) {
      if (end_token(test)) return true;
    } else {
      return false;
    }
    i += length;
  }
  return end_token(test);
}

// The exact test, run on the few segments that may be wrapped. Its window
// is allocated when the first such segment comes.
struct ExactTest {
  std::string_view text;
  std::uint64_t width = 0;
  std::vector<WindowEntry> window;
};

bool run_exact_test(ExactTest& exact, std::size_t segment_start) {
  if (exact.window.empty()) exact.window.resize(static_cast<std::size_t>(exact.width));
  WrappedTest test;
  test.width = exact.width;
  test.window = exact.window.data();
  return segment_is_wrapped(exact.text, segment_start, test);
}

// The quick walk: the longest-run test, and the segments with what decides
// whether they may be wrapped. Both tests of the wrapped test need `width`
// alphabet code points, so `width` bytes at least, and every make-up rule
// of the window needs upper case or digits to make up an eighth of it (the
// line test needs upper case only), so a segment short of either is skipped
// without running the exact test.
//
// The exact test runs on a segment as soon as what the walk has seen of it
// may be wrapped, not only when it ends: a blob usually fills its segment,
// and the test then stops at its detection instead of after the walk has
// gone through the whole blob. Either way each segment is tested once.
struct QuickWalk {
  std::uint64_t width = 0;
  std::uint64_t run = 0;
  bool long_run = false;
  std::size_t segment_start = 0;
  std::uint64_t segment_upper_or_digit = 0;
  bool segment_tested = false;
};

// Whether the segment in progress, seen up to `end`, may be wrapped and has
// not been tested.
inline bool segment_may_be_wrapped(const QuickWalk& walk, std::size_t end) {
  return !walk.segment_tested && end - walk.segment_start >= walk.width &&
         walk.segment_upper_or_digit * 8 >= walk.width;
}

// Tests the segment in progress, seen up to `end`, once it may be wrapped;
// returns true when it is.
inline bool test_segment_so_far(QuickWalk& walk, ExactTest& exact, std::size_t end) {
  if (!segment_may_be_wrapped(walk, end)) return false;
  walk.segment_tested = true;
  return run_exact_test(exact, walk.segment_start);
}

// Ends the segment in progress at `end` (an other code point, or the end of
// the text) and starts the next one at `next`; returns true when the ended
// one was wrapped.
inline bool end_segment(QuickWalk& walk, ExactTest& exact, std::size_t end, std::size_t next) {
  const std::size_t start = walk.segment_start;
  const bool may_be_wrapped = segment_may_be_wrapped(walk, end);
  walk.segment_start = next;
  walk.segment_upper_or_digit = 0;
  walk.segment_tested = false;
  return may_be_wrapped && run_exact_test(exact, start);
}

// The kinds of 64 bytes, one bit per byte, the earliest byte lowest.
struct ChunkKinds {
  std::uint64_t alphabet = 0;
  std::uint64_t upper_or_digit = 0;
  // Code points outside the alphabet and whitespace, marked at their first
  // byte, except those whose lead byte may also begin whitespace.
  std::uint64_t other = 0;
  // The lead bytes that may begin whitespace; their code points are looked
  // at one by one.
  std::uint64_t whitespace_leads = 0;
};

// The kinds of the chunk from `p`; `ascii` says that it holds no byte from
// 0x80 up, which spares the tests of lead bytes. Inlined into each call, so
// that each gets only its own half.
[[gnu::always_inline]] inline ChunkKinds chunk_kinds(const char* p, bool ascii) {
  ChunkKinds kinds;
  for (std::size_t block = 0; block < chunk_size / block_size; ++block) {
    // Read as signed, bytes from 0x80 up are negative and fall outside every
    // ASCII range, so each range is two signed comparisons.
    const ByteTest bytes = std::bit_cast<ByteTest>(load_block(p + block * block_size));
    // Setting bit 5 folds upper case onto lower case.
    const ByteTest folded = bytes | 0x20;
    const ByteTest letters = (folded > 'a' - 1) & (folded < 'z' + 1);
    const ByteTest digits = (bytes > '0' - 1) & (bytes < '9' + 1);
    const ByteTest symbols = (bytes == '+') | (bytes == '/') | (bytes == '-') | (bytes == '_') | (bytes == '=');
    const ByteTest spaces = ((bytes > '\t' - 1) & (bytes < '\r' + 1)) | (bytes == ' ');
    const ByteTest alphabet = letters | digits | symbols;
    const ByteTest upper_or_digit = (letters & ((bytes & 0x20) == 0)) | digits;
    const std::size_t shift = block * block_size;
    kinds.alphabet |= lane_bits(alphabet) << shift;
    kinds.upper_or_digit |= lane_bits(upper_or_digit) << shift;
    if (ascii) {
      kinds.other |= lane_bits(~(alphabet | spaces)) << shift;
    } else {
      const ByteTest non_ascii = bytes < 0;
      // Lead bytes are 0xC0 and up, -64 to -1. Whitespace outside ASCII
      // starts with 0xC2 or with 0xE1 to 0xE3 (-31 to -29); every other lead
      // begins an other code point.
      const ByteTest leads = non_ascii & (bytes > -65);
      const ByteTest whitespace_leads = leads & ((bytes == -62) | ((bytes > -32) & (bytes < -28)));
      const ByteTest other = ~(alphabet | spaces | non_ascii) | (leads & ~whitespace_leads);
      kinds.other |= lane_bits(other) << shift;
      kinds.whitespace_leads |= lane_bits(whitespace_leads) << shift;
    }
  }
  return kinds;
}

inline ChunkKinds chunk_kinds(const char* p) {
  ByteBlock high_bits = load_block(p);
  for (std::size_t block = 1; block < chunk_size / block_size; ++block) high_bits |= load_block(p + block * block_size);
  return lane_bits(std::bit_cast<ByteTest>(high_bits)) == 0 ? chunk_kinds(p, true) : chunk_kinds(p, false);
}

// Whether `bits` holds a run of at least `length` set bits, 1 <= length.
constexpr bool has_run_of(std::uint64_t bits, std::uint64_t length) {
  // After each step bit k is set when the bits k to k + covered - 1 all
  // were; shifting by at most `covered` keeps the joined runs contiguous.
  std::uint64_t covered = 1;
  while (covered < length && bits != 0) {
    const std::uint64_t shift = std::min(covered, length - covered);
    bits &= bits >> shift;
    covered += shift;
  }
  return bits != 0;
}

// Number of set bits of `bits` below bit `n`, n <= 64.
inline std::uint64_t bits_below(std::uint64_t bits, std::size_t n) {
  return count_bits(n == 64 ? bits : bits & ((std::uint64_t{1} << n) - 1));
}

// Ends the segment in progress at the other code point at bit `at` of the
// chunk from `i` and starts the next one after it; `upper_or_digit` holds
// the chunk's bits from the segment's part in it on. Returns true when the
// ended segment was wrapped.
inline bool end_segment_at(QuickWalk& walk, ExactTest& exact, std::size_t i, std::size_t at,
                           std::uint64_t upper_or_digit) {
  walk.segment_upper_or_digit += bits_below(upper_or_digit, at);
  const std::size_t lead = i + at;
  return end_segment(walk, exact, lead, lead + utf8_length(static_cast<unsigned char>(exact.text[lead])));
}

// The segments of the chunk from `i`: each other code point ends the one in
// progress, and the next begins after it. Returns true when one that ends
// was wrapped.
inline bool step_segments(QuickWalk& walk, ExactTest& exact, std::size_t i, std::uint64_t upper_or_digit,
                          std::uint64_t other) {
  if (other == 0) {
    walk.segment_upper_or_digit += count_bits(upper_or_digit);
    return false;
  }
  // The segments between two other code points of the chunk are shorter
  // than 63 bytes: for a wider window only the first and the last other code
  // point matter, and a prose chunk, which holds a few punctuation marks,
  // costs no branch per mark.
  if (walk.width >= 63) {
    const std::size_t first = static_cast<std::size_t>(std::countr_zero(other));
    const std::size_t last = 63 - static_cast<std::size_t>(std::countl_zero(other));
    if (end_segment_at(walk, exact, i, first, upper_or_digit)) return true;
    const std::size_t lead = i + last;
    walk.segment_start = lead + utf8_length(static_cast<unsigned char>(exact.text[lead]));
    walk.segment_upper_or_digit = count_bits(upper_or_digit >> last >> 1);
    return false;
  }
  std::size_t from = 0;
  for (; other != 0; other &= other - 1) {
    const std::size_t at = static_cast<std::size_t>(std::countr_zero(other));
    if (end_segment_at(walk, exact, i, at, upper_or_digit >> from << from)) return true;
    from = at + 1;
  }
  walk.segment_upper_or_digit = count_bits(from == 64 ? 0 : upper_or_digit >> from);
  return false;
}

// The chunk from `i`, whose kinds are given, up to `chunk_end`. A code
// point outside ASCII is marked at its lead byte, as other unless it is
// whitespace; its continuation bytes, in this chunk or the next, are of no
// kind, like the bytes of whitespace: they break a run and leave the
// segment open. Returns true when a segment they end was wrapped.
inline bool step_chunk(QuickWalk& walk, ExactTest& exact, std::size_t i, const ChunkKinds& kinds,
                       std::size_t chunk_end) {
  // Runs: one that continues from earlier chunks, those inside the chunk,
  // and one that goes on into the next.
  if (kinds.alphabet == ~std::uint64_t{0}) {
    walk.run += chunk_size;
  } else {
    walk.long_run = walk.long_run || walk.run + static_cast<std::uint64_t>(std::countr_one(kinds.alphabet)) >= walk.width ||
                    (walk.width < chunk_size && has_run_of(kinds.alphabet, walk.width));
    walk.run = static_cast<std::uint64_t>(std::countl_one(kinds.alphabet));
  }
  walk.long_run = walk.long_run || walk.run >= walk.width;

  std::uint64_t other = kinds.other;
  for (std::uint64_t leads = kinds.whitespace_leads; leads != 0; leads &= leads - 1) {
    std::size_t length = 0;
    const char32_t cp = decode_utf8(exact.text.data() + i + static_cast<std::size_t>(std::countr_zero(leads)), length);
    if (!is_white_space(cp)) other |= leads & -leads;
  }
  if (step_segments(walk, exact, i, kinds.upper_or_digit, other)) return true;
  return test_segment_so_far(walk, exact, chunk_end);
}

// One walk runs the longest-run test and, segment by segment, the wrapped
// test. It stops at the first wrapped detection, which settles both results.
BlobSignals walk_text(std::string_view text, std::uint64_t width) {
  // Every test needs at least `width` code points, which also keeps an
  // absurd width from being allocated. A text of n bytes holds at least n/4
  // code points, so only a width close to the text's length costs a count.
  if (width > text.size() / 4 && width > count_code_points(text)) return {false, false};

  ExactTest exact{text, width, {}};
  QuickWalk walk;
  walk.width = width;
  BlockReader<chunk_size> reader{text.data(), text.data() + text.size()};
  const auto offset = [&text](const char* at) { return static_cast<std::size_t>(at - text.data()); };
  for (; reader.has_full_block(); reader.advance()) {
    const std::size_t i = offset(reader.block());
    if (step_chunk(walk, exact, i, chunk_kinds(reader.block()), i + chunk_size)) return {true, true};
  }
  // The kinds of the last bytes are cut at the end of the text, which then
  // ends the last segment as an other code point would. Chat messages are
  // mostly such a tail.
  if (const auto last = reader.remainder(); last.size != 0) {
    ChunkKinds kinds = chunk_kinds(last.bytes.data());
    const std::uint64_t inside = last.text_lanes();
    kinds.alphabet &= inside;
    kinds.upper_or_digit &= inside;
    kinds.other &= inside;
    kinds.whitespace_leads &= inside;
    if (step_chunk(walk, exact, offset(reader.block()), kinds, text.size())) return {true, true};
  }
  if (end_segment(walk, exact, text.size(), text.size())) return {true, true};
  return {walk.long_run, false};
}

// Upper-case letters and digits, which every make-up rule of the window
// and the line test need to make up an eighth of the width. The seven signs
// between them, from ':' to '@', are taken along, which makes one range of
// them; the bound holds all the more.
ByteTest upper_or_digit_lanes(ByteBlock bytes) { return bytes_in_range(bytes, '0', 'Z'); }

// Bytes from '+' to 'z', which hold the whole alphabet: a run of at least
// 2 * Grain - 1 bytes covers some stretch of Grain bytes of the walk whole,
// which then holds nothing else.
ByteTest run_material(ByteBlock bytes) { return bytes_in_range(bytes, '+', 'z'); }

template <std::size_t Grain>
constexpr std::uint64_t width_covering = 2 * Grain - 1;

// Whether the Grain bytes at `p` are all run material.
template <std::size_t Grain>
inline bool is_material_stretch(const char* p) {
  ByteTest material = run_material(load_block(p));
  for (std::size_t block = 1; block < Grain / block_size; ++block) material &= run_material(load_block(p + block * block_size));
  return lane_bits(material) == 0xFFFF;
}

// Whether the text may hold a blob at all, for a width of at least
// width_covering<Grain>: a long run needs Grain bytes of run material in a
// row, at a multiple of Grain, and a wrapped segment needs upper-case
// letters and digits, an eighth of the width at least, which the text as a
// whole then holds too. Most texts have neither and are settled here,
// sixteen bytes at a time without decoding; the count is looked at every few
// stretches, so that the search stops soon in a text that may. Wider
// stretches need fewer tests.
template <std::size_t Grain>
bool may_hold_blob(std::string_view text, std::uint64_t width) {
  constexpr std::size_t blocks = Grain / block_size;
  constexpr std::size_t stretches_per_count = 16 / blocks;
  std::uint64_t upper_or_digit = 0;
  const auto count = [](ByteBlock& tally, const char* p) {
    for (std::size_t block = 0; block < blocks; ++block) {
      tally -= std::bit_cast<ByteBlock>(upper_or_digit_lanes(load_block(p + block * block_size)));
    }
  };
  BlockReader<Grain> reader{text.data(), text.data() + text.size()};
  while (reader.has_full_block()) {
    ByteBlock tally{};
    for (std::size_t round = 0; round < stretches_per_count && reader.has_full_block(); ++round, reader.advance()) {
      if (is_material_stretch<Grain>(reader.block())) return true;
      count(tally, reader.block());
    }
    upper_or_digit += sum_lanes(tally);
    if (upper_or_digit * 8 >= width) return true;
  }
  // The padding holds no upper-case letter or digit.
  const auto last = reader.remainder();
  ByteBlock tally{};
  count(tally, last.bytes.data());
  upper_or_digit += sum_lanes(tally);
  return upper_or_digit * 8 >= width;
}

// The same, with the census of the text, if any: the census of the whole
// text has the count of the bytes from '0' to 'Z' that this takes, so that
// only the search for run material is left.
template <std::size_t Grain>
bool may_hold_blob(std::string_view text, std::uint64_t width, const TextCensus* census) {
  if (census == nullptr || !census->whole_text) return may_hold_blob<Grain>(text, width);
  if (census->digit_to_upper_bytes * 8 >= width) return true;
  for (BlockReader<Grain> reader{text.data(), text.data() + text.size()}; reader.has_full_block(); reader.advance()) {
    if (is_material_stretch<Grain>(reader.block())) return true;
  }
  return false;
}

// Code points that are certainly neither in the alphabet nor whitespace,
// marked at their first byte: the comma, the full stop, and the lead bytes
// from 0xC3 up except 0xE1 to 0xE3, the leads under which whitespace lies
// besides 0xC2. Each ends a segment; those it leaves out are left to the
// walk.
ByteTest segment_ends(ByteBlock bytes) {
  return (bytes == ',') | (bytes == '.') | bytes_in_range(bytes, 0xC3, 0xE0) | bytes_in_range(bytes, 0xE4, 0xF4);
}

inline std::uint64_t chunk_segment_ends(const char* p) {
  std::uint64_t ends = 0;
  for (std::size_t block = 0; block < chunk_size / block_size; ++block) {
    ends |= lane_bits(segment_ends(load_block(p + block * block_size))) << (block * block_size);
  }
  return ends;
}

// A piece from which the rest of the text is left to the walk at once, if
// it may hold a blob: it is blob-like material that long, and the walk stops
// at its first detection instead of after the sieve has gone through it.
constexpr std::size_t piece_left_to_the_walk = 1024;

// For a width of at least chunk_size. The segment ends found by
// segment_ends cut the text into pieces, each of one or more whole segments
// of the walk, and the walk of a piece, the end that closes it included,
// comes to the same results as the walk of the whole text over it. Only the
// pieces of at least `width` bytes that may_hold_blob lets through are
// walked. Those that lie between two ends in one chunk are shorter than the
// width, so a chunk's first and last end suffice.
BlobSignals sift_pieces(std::string_view text, std::uint64_t width) {
  bool long_run = false;
  // After the last end so far.
  std::size_t piece_start = 0;
  // Walks the piece in progress if it may hold a blob; `stop` is where it
  // ends, `through` the end of the code point that ends it. Returns true on a
  // wrapped detection.
  const auto walk_piece = [&](std::size_t stop, std::size_t through) {
    if (stop - piece_start < width) return false;
    if (!may_hold_blob<2 * block_size>(text.substr(piece_start, stop - piece_start), width)) return false;
    const BlobSignals walked = walk_text(text.substr(piece_start, through - piece_start), width);
    long_run = long_run || walked.base64ish;
    return walked.wrapped;
  };
  const auto step = [&](std::size_t i, std::uint64_t ends) {
    const std::size_t first = static_cast<std::size_t>(std::countr_zero(ends));
    const std::size_t stop = i + first;
    if (walk_piece(stop, stop + utf8_length(static_cast<unsigned char>(text[stop])))) return true;
    const std::size_t last = 63 - static_cast<std::size_t>(std::countl_zero(ends));
    piece_start = i + last + utf8_length(static_cast<unsigned char>(text[i + last]));
    return false;
  };
  bool long_piece_tested = false;
  BlockReader<chunk_size> reader{text.data(), text.data() + text.size()};
  for (; reader.has_full_block(); reader.advance()) {
    const std::size_t i = static_cast<std::size_t>(reader.block() - text.data());
    const std::uint64_t ends = chunk_segment_ends(reader.block());
    if (ends != 0) {
      if (step(i, ends)) return {true, true};
      long_piece_tested = false;
      continue;
    }
    // Tested once, as it reaches that length.
    const std::size_t seen = i + chunk_size;
    if (!long_piece_tested && seen >= piece_start + piece_left_to_the_walk) {
      long_piece_tested = true;
      if (may_hold_blob<2 * block_size>(text.substr(piece_start, seen - piece_start), width)) {
        const BlobSignals rest = walk_text(text.substr(piece_start), width);
        return {long_run || rest.base64ish, rest.wrapped};
      }
    }
  }
  // The padding holds no end.
  const auto last = reader.remainder();
  const std::uint64_t ends = chunk_segment_ends(last.bytes.data());
  if ((ends != 0 && step(static_cast<std::size_t>(reader.block() - text.data()), ends)) ||
      walk_piece(text.size(), text.size())) {
    return {true, true};
  }
  return {long_run, false};
}

BlobSignals detect_blob(std::string_view text, std::uint64_t width, const TextCensus* census) {
  // Width 0: every text has a run of at least 0; the wrapped test is off.
  if (width == 0) return {true, false};
  if (width >= width_covering<2 * block_size>) {
    if (!may_hold_blob<2 * block_size>(text, width, census)) return {false, false};
  } else if (width >= width_covering<block_size> && !may_hold_blob<block_size>(text, width, census)) {
    return {false, false};
  }
  return width >= chunk_size ? sift_pieces(text, width) : walk_text(text, width);
}

}  // namespace

BlobSignals measure_encoded_blobs(std::string_view output, const SignalSpec& signals) {
  return detect_blob(output, signals.base64_min_chars, nullptr);
}

BlobSignals measure_encoded_blobs_with_census(std::string_view output, const SignalSpec& signals,
                                              const TextCensus& census) {
  return detect_blob(output, signals.base64_min_chars, &census);
}

void write_blob_stats(StatsMap& stats, const BlobSignals& measured) {
  stats.add("base64ish", measured.base64ish);
  stats.add("base64ish_wrapped", measured.wrapped);
}

void flag_encoded_blob(SanitizeReport& report, const BlobSignals& measured) {
  if (measured.base64ish) bump_flagged(report, "base64ish_blob", 1);
}

}  // namespace orlenta
