#include "unusual_entropy.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "classes/scripts.h"
#include "script_baselines.h"
#include "text/utf8.h"

namespace orlenta::detect {
namespace {

// How far above the most varied prose of its scripts a window must be: one
// bit is twice the alphabet. Random printable ASCII reaches 6.3 bits in a
// window, Latin prose 5.0; random ideographs 9.0, Chinese prose 7.2.
constexpr double margin_bits = 1.0;

// c * log2(c) for every count a window can hold.
const std::array<double, entropy_window + 1> count_terms = [] {
  std::array<double, entropy_window + 1> terms{};
  for (std::size_t c = 1; c <= entropy_window; ++c) terms[c] = static_cast<double>(c) * std::log2(static_cast<double>(c));
  return terms;
}();

// Below this no window can be unusual for any script, and scripts are not
// looked up.
const double lowest_threshold = [] {
  double lowest = 64.0;
  for (const ScriptBaseline& row : script_baseline_rows) {
    if (row.entropy > 0.0f) lowest = std::min(lowest, static_cast<double>(row.entropy));
  }
  return lowest + margin_bits;
}();

bool is_letter_script(Script script) { return script != Script::Zyyy && script != Script::Zinh && script != Script::Zzzz; }

double rounded(double bits) { return std::round(bits * 1000.0) / 1000.0; }

// The counts of one window: code points by their low bits, and the first
// code point of each bucket, for the scripts.
struct WindowCounts {
  std::array<std::uint16_t, entropy_buckets> counts{};
  std::array<char32_t, entropy_window> firsts{};
  std::size_t distinct = 0;

  double entropy() const {
    double sum = 0.0;
    for (std::size_t i = 0; i < distinct; ++i) sum += count_terms[counts[firsts[i] & (entropy_buckets - 1)]];
    return std::log2(static_cast<double>(entropy_window)) - sum / static_cast<double>(entropy_window);
  }

  void clear() {
    for (std::size_t i = 0; i < distinct; ++i) counts[firsts[i] & (entropy_buckets - 1)] = 0;
    distinct = 0;
  }
};

struct Judgement {
  Script script;    // the script of most letters
  double baseline;  // the highest baseline among the window's scripts
};

// The window's scripts and their baseline, when every script that writes an
// eighth of its letters has one.
std::optional<Judgement> judge_scripts(const WindowCounts& window) {
  std::array<std::uint16_t, script_count> letters{};
  std::size_t total = 0;
  for (std::size_t i = 0; i < window.distinct; ++i) {
    const Script script = script_of(window.firsts[i]);
    if (!is_letter_script(script)) continue;
    const std::uint16_t count = window.counts[window.firsts[i] & (entropy_buckets - 1)];
    letters[static_cast<std::size_t>(script)] += count;
    total += count;
  }
  if (total == 0) return std::nullopt;
  Judgement judgement{Script::Zzzz, 0.0};
  std::uint16_t most = 0;
  for (std::size_t s = 0; s < script_count; ++s) {
    if (letters[s] == 0 || 8 * letters[s] < total) continue;
    const std::optional<double> baseline = entropy_baseline(static_cast<Script>(s));
    if (!baseline) return std::nullopt;
    judgement.baseline = std::max(judgement.baseline, *baseline);
    if (letters[s] > most) {
      most = letters[s];
      judgement.script = static_cast<Script>(s);
    }
  }
  return judgement;
}

// The encoded payloads already found, which the windows leave out.
std::vector<std::pair<std::size_t, std::size_t>> payload_spans(const std::vector<Finding>& found) {
  std::vector<std::pair<std::size_t, std::size_t>> spans;
  for (const Finding& finding : found) {
    if (finding.kind == FindingKind::encoded_payload) spans.emplace_back(finding.start, finding.end);
  }
  std::sort(spans.begin(), spans.end());
  return spans;
}

// A window of `entropy_window` code points that ends at `end`: a finding,
// or an extension of the previous one when that ends where it starts.
struct Stretch {
  static constexpr std::size_t none = SIZE_MAX;
  std::size_t index = none;  // of the last finding while windows keep exceeding
};

void judge_window(const WindowCounts& window, std::size_t start, std::size_t end, Stretch& stretch,
                  std::vector<Finding>& found) {
  const double entropy = window.entropy();
  std::optional<Judgement> judgement;
  if (entropy > lowest_threshold) judgement = judge_scripts(window);
  if (!judgement || entropy <= judgement->baseline + margin_bits) {
    stretch.index = Stretch::none;
    return;
  }
  if (stretch.index != Stretch::none && found[stretch.index].end == start) {
    Finding& last = found[stretch.index];
    last.end = end;
    auto& highest = std::get<double>(last.evidence[1].value);
    highest = std::max(highest, rounded(entropy));
    return;
  }
  stretch.index = found.size();
  found.push_back({FindingKind::unusual_entropy,
                   start,
                   end,
                   {{"script", std::string(script_code(judgement->script))},
                    {"entropy", rounded(entropy)},
                    {"baseline", rounded(judgement->baseline)}}});
}

}  // namespace

void find_unusual_entropy(std::string_view text, std::vector<Finding>& found) {
  if (text.size() < entropy_window) return;
  const auto spans = payload_spans(found);
  const auto window = std::make_unique<WindowCounts>();
  auto& counts = window->counts;
  auto& firsts = window->firsts;
  Stretch stretch;
  std::size_t next_span = 0;
  std::size_t size = 0;   // code points in the window
  std::size_t start = 0;  // where its first one starts
  std::size_t i = 0;
  while (i < text.size()) {
    if (next_span < spans.size() && i >= spans[next_span].first) {
      i = std::max(i, spans[next_span++].second);
      continue;
    }
    const std::size_t stop = next_span < spans.size() ? spans[next_span].first : text.size();
    std::size_t distinct = window->distinct;
    if (size == 0) start = i;
    while (i < stop) {
      const auto lead = static_cast<unsigned char>(text[i]);
      std::size_t length = 1;
      const char32_t cp = lead < 0x80 ? lead : decode_utf8(text.data() + i, length);
      // Without a branch: whether a bucket is new is as good as random in
      // the large alphabets.
      firsts[distinct] = cp;
      distinct += counts[cp & (entropy_buckets - 1)]++ == 0;
      i += length;
      if (++size < entropy_window) continue;
      window->distinct = distinct;
      judge_window(*window, start, i, stretch, found);
      window->clear();
      distinct = 0;
      size = 0;
      start = i;
    }
    window->distinct = distinct;
  }
}

}  // namespace orlenta::detect
