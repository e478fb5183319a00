// libFuzzer target for normkit: arbitrary bytes, valid UTF-8 or not, through
// every entry point, checking the properties that must hold for any input.
// The last byte also picks where the output is cut for the checks on a
// prefix. A failed property prints what broke and aborts, which libFuzzer
// records as a crash with the input that caused it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_checks.h"
#include "normkit/normalize.h"

namespace {

using fuzz_checks::append_utf8;
using fuzz_checks::cut_at_code_point;
using fuzz_checks::exact_copy;
using fuzz_checks::is_scalar_value;
using fuzz_checks::is_valid_utf8;
using fuzz_checks::require;

const char* form_name(normkit::Form form) { return form == normkit::Form::nfc ? "NFC" : "NFKC"; }

std::vector<char32_t> drain_by_next(std::string_view input, normkit::Form form) {
  normkit::ComposeStream stream(input, form);
  std::vector<char32_t> code_points;
  char32_t cp = 0;
  while (stream.next(cp)) {
    code_points.push_back(cp);
  }
  return code_points;
}

// Pulls in small, varying chunks with single next() calls in between, the
// way a bounded consumer reads the stream, and checks the count contract of
// pull_utf8 on the way.
std::string drain_in_chunks(std::string_view input, normkit::Form form) {
  static constexpr std::array<std::uint64_t, 6> chunk_sizes = {1, 2, 3, 5, 8, 13};
  const char* context = form_name(form);
  normkit::ComposeStream stream(input, form);
  std::string out;
  for (std::size_t round = 0;; ++round) {
    const std::uint64_t asked = chunk_sizes[round % chunk_sizes.size()];
    const std::size_t size_before = out.size();
    const std::uint64_t appended = stream.pull_utf8(out, asked);
    require(appended <= asked, "pull_utf8 appends at most the number asked for", context);
    require((out.size() - size_before >= appended) && (out.size() - size_before <= 4 * appended),
            "pull_utf8 returns the number of code points it appended", context);
    char32_t cp = 0;
    if (appended < asked) {
      require(!stream.next(cp), "a short pull_utf8 means the stream is exhausted", context);
      require(stream.pull_utf8(out, 1) == 0, "an exhausted stream stays exhausted", context);
      return out;
    }
    if (round % 2 == 1) {
      if (!stream.next(cp)) {
        return out;
      }
      append_utf8(out, cp);
    }
  }
}

// What holds for a text in `form`: normalizing changes nothing and both
// checks agree.
void check_normalized(std::string_view text, normkit::Form form, const char* context) {
  const fuzz_checks::ExactCopy copy = exact_copy(text);
  require(normkit::normalize(copy.view(), form) == text, "normalization is idempotent", context);
  require(normkit::is_normalized(copy.view(), form), "normalized text passes is_normalized", context);
  require(normkit::quick_check(copy.view(), form) != normkit::QuickCheck::no,
          "normalized text never gets a quick check no", context);
}

void check_form(std::string_view input, normkit::Form form, std::uint8_t cut_fraction) {
  const char* context = form_name(form);
  const std::vector<char32_t> code_points = drain_by_next(input, form);
  std::string encoded;
  for (std::size_t i = 0; i < code_points.size(); ++i) {
    const char32_t cp = code_points[i];
    require(is_scalar_value(cp), "next() yields Unicode scalar values", context);
    const std::uint8_t ccc = normkit::combining_class(cp);
    require(i == 0 || ccc == 0 || normkit::combining_class(code_points[i - 1]) <= ccc,
            "non-starters come out in canonical order", context);
    append_utf8(encoded, cp);
  }

  require(drain_in_chunks(input, form) == encoded, "pull_utf8 in chunks gives what next() gives", context);

  const std::string normalized = normkit::normalize(input, form);
  require(normalized == encoded, "normalize() gives what the stream gives", context);
  require(is_valid_utf8(normalized), "normalized text is valid UTF-8", context);
  check_normalized(normalized, form, context);
  // Normalization decides each code point by what comes before it and by the
  // code points it composes with, so cutting normalized text between two
  // code points leaves it normalized.
  const std::string cut_context = std::string(context) + " output cut at a code point";
  check_normalized(cut_at_code_point(normalized, cut_fraction), form, cut_context.c_str());

  const normkit::QuickCheck quick = normkit::quick_check(input, form);
  const bool exact = normkit::is_normalized(input, form);
  require(quick == normkit::QuickCheck::maybe || (quick == normkit::QuickCheck::yes) == exact,
          "a certain quick check agrees with is_normalized", context);
  // The checks may judge invalid input by its bytes (which normalizing
  // replaces) or by the U+FFFD they decode to, so how they relate to the
  // output is fixed for valid UTF-8 only.
  if (is_valid_utf8(input)) {
    require(exact == (normalized == input), "is_normalized agrees with normalize()", context);
    require(quick != normkit::QuickCheck::no || normalized != input,
            "quick check no implies the text changes", context);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::uint8_t cut_fraction = size == 0 ? 0 : data[size - 1];
  check_form(input, normkit::Form::nfc, cut_fraction);
  check_form(input, normkit::Form::nfkc, cut_fraction);

  // NFKC text is also in NFC, and composing first changes nothing about the
  // compatibility form.
  const std::string nfkc = normkit::normalize(input, normkit::Form::nfkc);
  require(normkit::is_normalized(exact_copy(nfkc).view(), normkit::Form::nfc), "NFKC output is in NFC",
          "NFC and NFKC");
  const fuzz_checks::ExactCopy nfc = exact_copy(normkit::normalize(input, normkit::Form::nfc));
  require(normkit::normalize(nfc.view(), normkit::Form::nfkc) == nfkc,
          "NFKC of the NFC output equals NFKC of the input", "NFC and NFKC");

  if (size >= 4) {
    // Property lookups take any 32-bit value; those beyond U+10FFFF must
    // stay within the tables and have no properties.
    const char32_t cp = static_cast<char32_t>(data[0]) | static_cast<char32_t>(data[1]) << 8 |
                        static_cast<char32_t>(data[2]) << 16 | static_cast<char32_t>(data[3]) << 24;
    const bool is_mark = normkit::is_mark(cp);
    const std::uint8_t ccc = normkit::combining_class(cp);
    require(cp <= 0x10FFFF || (!is_mark && ccc == 0), "values beyond U+10FFFF have no properties",
            "properties");
  }
  return 0;
}
