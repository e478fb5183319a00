#include "passes/encoded_blob_signal.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "passes/utf8.h"

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

// White_Space outside ASCII.
constexpr bool is_non_ascii_whitespace(char32_t cp) {
  return cp == 0x0085 || cp == 0x00A0 || cp == 0x1680 || (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 ||
         cp == 0x2029 || cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

constexpr std::array<bool, 256> is_alphabet_byte = [] {
  std::array<bool, 256> alphabet{};
  for (std::size_t byte = 0; byte < 128; ++byte) alphabet[byte] = ascii_kinds[byte] <= symbol;
  return alphabet;
}();

// Index of the first alphabet byte from `i`. After a reset, nothing before
// the next alphabet code point changes the state: other code points only
// reset it again, and whitespace finds the token empty and marks the next
// entry as following whitespace, which never counts for the first entry
// after a reset: it stays the oldest as long as it is in the window.
std::size_t skip_to_alphabet(std::string_view text, std::size_t i) {
  while (i < text.size() && !is_alphabet_byte[static_cast<unsigned char>(text[i])]) ++i;
  return i;
}

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
// window holds the last `width` alphabet code points since the latest reset
// in a ring buffer that fills from index 0, so `oldest` stays 0 until it is
// full. The buffer is owned by the caller and allocated once.
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

// Any code point outside the alphabet and whitespace separates unrelated
// material: everything starts over.
void reset(WrappedTest& test) {
  test.window_size = 0;
  test.oldest = 0;
  test.class_counts = {};
  test.boundaries = 0;
  test.follows_whitespace = false;
  test.token_length = 0;
  test.token_all_upper = true;
  test.previous_line_length = 0;
  test.line_total = 0;
}

struct BlobResult {
  bool base64ish = false;
  bool wrapped = false;
};

// One walk runs the wrapped test and tracks the longest alphabet run. It
// stops at the first wrapped detection, which settles both results.
BlobResult detect_blob(std::string_view text, std::uint64_t width) {
  // Width 0: every text has a run of at least 0; the wrapped test is off.
  if (width == 0) return {true, false};
  // Every test needs at least `width` code points, which also keeps an
  // absurd width from being allocated. A text of n bytes holds at least n/4
  // code points, so only a width close to the text's length costs a count.
  if (width > text.size() / 4 && width > count_code_points(text)) return {false, false};

  std::vector<WindowEntry> window(static_cast<std::size_t>(width));
  WrappedTest test;
  test.width = width;
  test.window = window.data();
  std::uint64_t run = 0;
  bool long_run = false;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    Kind kind = other;
    if (lead < 0x80) {
      kind = ascii_kinds[lead];
      ++i;
    } else {
      std::size_t length = 0;
      if (is_non_ascii_whitespace(decode_utf8(text.data() + i, length))) kind = whitespace;
      i += length;
    }

    if (kind <= symbol) {
      ++run;
      long_run = long_run || run >= width;
      if (add_alphabet(test, kind)) return {true, true};
    } else if (kind == whitespace) {
      run = 0;
      if (end_token(test)) return {true, true};
    } else {
      run = 0;
      reset(test);
      i = skip_to_alphabet(text, i);
    }
  }
  // The text ends as if followed by a space, closing its last token.
  const bool wrapped = end_token(test);
  return {long_run || wrapped, wrapped};
}

}  // namespace

void scan_encoded_blobs(std::string_view output, const SignalSpec& signals, SanitizeReport& report) {
  const BlobResult result = detect_blob(output, signals.base64_min_chars);
  report.stats["base64ish"] = result.base64ish;
  report.stats["base64ish_wrapped"] = result.wrapped;
  if (result.base64ish) bump_flagged(report, "base64ish_blob", 1);
}

}  // namespace orlenta
