#include "passes/entropy_signal.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "passes/utf8.h"

namespace orlenta {
namespace {

// The 64-bit float nearest to -ln 2. Dividing ln(p) * p by it turns the
// natural logarithm into bits and the negative term into a positive one.
constexpr double negative_ln2 = -0.6931471805599453;

// Code point frequencies of the prefix. ASCII, by far the common case, is a
// flat array; other code points go to a hash map that is sorted once when
// the terms are summed.
struct FrequencyTable {
  std::array<std::uint64_t, 128> ascii{};
  std::unordered_map<char32_t, std::uint64_t> other;
};

struct Prefix {
  std::uint64_t code_points = 0;
  std::size_t bytes = 0;
};

// Counts the first `limit` code points of `text` into `table`.
Prefix count_prefix(std::string_view text, std::uint64_t limit, FrequencyTable& table) {
  Prefix prefix;
  while (prefix.code_points < limit && prefix.bytes < text.size()) {
    const auto lead = static_cast<unsigned char>(text[prefix.bytes]);
    if (lead < 0x80) {
      ++table.ascii[lead];
      ++prefix.bytes;
    } else {
      std::size_t length = 0;
      ++table.other[decode_utf8(text.data() + prefix.bytes, length)];
      prefix.bytes += length;
    }
    ++prefix.code_points;
  }
  return prefix;
}

// Floating-point addition is not associative, so the terms are added in
// ascending code point order, the order of an ordered map: ASCII first, then
// the other code points sorted.
double entropy_bits(const FrequencyTable& table, std::uint64_t code_points) {
  if (code_points == 0) return 0.0;
  const double n = static_cast<double>(code_points);
  double h = +0.0;
  const auto add_term = [&h, n](std::uint64_t count) {
    const double p = static_cast<double>(count) / n;
    h = h + (std::log(p) * p) / negative_ln2;
  };
  for (const std::uint64_t count : table.ascii) {
    if (count != 0) add_term(count);
  }
  std::vector<std::pair<char32_t, std::uint64_t>> other(table.other.begin(), table.other.end());
  std::sort(other.begin(), other.end());
  for (const auto& entry : other) add_term(entry.second);
  return h;
}

// Whether the whole text holds more than `min_chars` code points. The
// prefix's count often settles it; otherwise only the rest is counted.
bool longer_than(std::string_view text, const Prefix& prefix, std::uint64_t min_chars) {
  if (prefix.code_points > min_chars) return true;
  return prefix.code_points + count_code_points(text.substr(prefix.bytes)) > min_chars;
}

}  // namespace

void scan_entropy(std::string_view output, const SignalSpec& signals, SanitizeReport& report) {
  FrequencyTable table;
  const Prefix prefix = count_prefix(output, signals.entropy_prefix_chars, table);
  const double entropy = entropy_bits(table, prefix.code_points);
  report.stats["entropy_2000"] = entropy;
  if (entropy > signals.entropy_prefix_threshold && longer_than(output, prefix, signals.entropy_prefix_min_chars)) {
    bump_flagged(report, "high_entropy", 1);
  }
}

}  // namespace orlenta
