// Throughput of the three signal scans (combining marks, encoded blobs,
// entropy), together and each alone, next to a plain UTF-8 decoding loop over
// the same buffer measured in the same run.
//
//   signals_bench [--corpus DIR] [--reps N] [--quick]
//
// Inputs of 10 MB each: base64 of random bytes wrapped at 76 columns, the
// UDHR corpus repeated, generated English-like ASCII prose and
// combining-heavy text (Latin and Cyrillic letters under stacks of up to six
// marks). The blob scan stops at its first detection, which on the UDHR
// comes within the first translations (an upper-case title above a line of
// text); on the ASCII prose it walks the whole text. The table gives min/
// median/max MB/s of input and the ratio of the medians, scan over decoding
// loop; all three scans together should reach 0.3.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bench_inputs.h"
#include "bench_main.h"
#include "normkit/utf8.h"
#include "passes/combining_signal.h"
#include "passes/encoded_blob_signal.h"
#include "passes/entropy_signal.h"
#include "policy/policy.h"
#include "text/utf8.h"
#include "throughput.h"

namespace {

constexpr std::size_t input_bytes = 10'000'000;
constexpr double all_scans_target = 0.3;

using Options = bench::CorpusOptions;

const Options default_options{ORLENTA_DEFAULT_CORPUS_DIR, {7, 0.2, 0.05}};

struct Input {
  std::string name;
  std::string text;
};

// A fixed linear congruential generator keeps the inputs identical across
// runs and standard libraries.
struct Lcg {
  std::uint64_t state = 0x9E3779B97F4A7C15ULL;
  std::uint32_t next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::uint32_t>(state >> 33);
  }
};

// Cuts `text` to at most `size` bytes without splitting a code point.
void cut_at_code_point(std::string& text, std::size_t size) {
  if (text.size() <= size) return;
  while (size > 0 && (static_cast<unsigned char>(text[size]) & 0xC0u) == 0x80u) --size;
  text.resize(size);
}

std::string make_wrapped_base64(std::size_t size) {
  static constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  Lcg random;
  std::string text;
  text.reserve(size + 77);
  while (text.size() < size) {
    for (int column = 0; column < 76; ++column) text += alphabet[random.next() % 64];
    text += '\n';
  }
  text.resize(size);
  return text;
}

std::string make_repeated(const std::string& corpus, std::size_t size) {
  std::string text;
  text.reserve(size + corpus.size());
  while (text.size() < size) text += corpus;
  cut_at_code_point(text, size);
  return text;
}

// Latin and Cyrillic letters, each under 0 to 6 marks of the combining
// diacritics block (without U+034F, which is default-ignorable), and a space
// now and then.
std::string make_combining_heavy(std::size_t size) {
  Lcg random;
  std::string text;
  text.reserve(size + 64);
  while (text.size() < size) {
    const std::uint32_t pick = random.next();
    normkit::utf8::append(text, pick % 2 == 0 ? U'a' + pick / 2 % 26 : char32_t{0x0430} + pick / 2 % 32);
    for (std::uint32_t marks = random.next() % 7; marks > 0; --marks) {
      const char32_t mark = 0x0300 + random.next() % 0x4F;
      normkit::utf8::append(text, mark == 0x034F ? char32_t{0x0301} : mark);
    }
    if (random.next() % 8 == 0) text += ' ';
  }
  cut_at_code_point(text, size);
  return text;
}

std::uint64_t decode_all(std::string_view text) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = 0;
    sum += orlenta::decode_utf8(text.data() + i, length);
    i += length;
  }
  return sum;
}

using Scan = void (*)(std::string_view, const orlenta::SignalSpec&, orlenta::SanitizeReport&);

// A scan as the pipeline runs it: measure, write the statistics, flag.
template <auto measure, auto write_stats, auto flag>
void scan(std::string_view text, const orlenta::SignalSpec& signals, orlenta::SanitizeReport& report) {
  const auto measured = measure(text, signals);
  write_stats(report.stats, measured);
  flag(report, measured);
}

constexpr Scan scan_combining_marks =
    scan<orlenta::measure_combining_marks, orlenta::write_combining_stats, orlenta::flag_combining_abuse>;
constexpr Scan scan_encoded_blobs =
    scan<orlenta::measure_encoded_blobs, orlenta::write_blob_stats, orlenta::flag_encoded_blob>;
constexpr Scan scan_entropy = scan<orlenta::measure_entropy, orlenta::write_entropy_stats, orlenta::flag_high_entropy>;

std::uint64_t run_scans(std::string_view text, const std::vector<Scan>& scans) {
  orlenta::SanitizeReport report;
  for (const Scan scan : scans) scan(text, orlenta::registry().signals, report);
  return report.stats.size() + report.flagged_counts.size();
}

std::string flags_of(std::string_view text) {
  orlenta::SanitizeReport report;
  for (const Scan scan : {scan_combining_marks, scan_encoded_blobs, scan_entropy}) {
    scan(text, orlenta::registry().signals, report);
  }
  std::string flags;
  for (const auto& entry : report.flagged_counts) {
    if (!flags.empty()) flags += ',';
    flags += entry.first;
  }
  return flags.empty() ? "none" : flags;
}

struct Row {
  const char* operation;
  bench::Operation run;
  std::size_t calls_per_pass = 1;
  std::vector<double> mb_per_s{};
};

// Times every row once per repetition, interleaved, so that drift in the
// machine's load affects the scans and the decoding loop alike. Returns
// whether all three scans together met the target.
bool measure_input(const Input& input, const Options& options) {
  const std::string_view text = input.text;
  const auto scans = [text](std::vector<Scan> which) { return [text, which] { return run_scans(text, which); }; };
  std::vector<Row> rows = {
      {.operation = "utf-8 decode", .run = [text] { return decode_all(text); }},
      {.operation = "all three scans",
       .run = scans({scan_combining_marks, scan_encoded_blobs, scan_entropy})},
      {.operation = "combining", .run = scans({scan_combining_marks})},
      {.operation = "encoded blob", .run = scans({scan_encoded_blobs})},
      {.operation = "entropy", .run = scans({scan_entropy})},
  };
  for (Row& row : rows) row.calls_per_pass = bench::calls_per_pass(row.run, options.timing.min_pass_seconds);
  for (int rep = 0; rep < options.timing.repetitions; ++rep) {
    for (Row& row : rows) row.mb_per_s.push_back(bench::time_pass(row.run, row.calls_per_pass, text.size()));
  }

  std::printf("%s: %zu bytes, %llu code points, flags: %s\n", input.name.c_str(), text.size(),
              static_cast<unsigned long long>(orlenta::count_code_points(text)), flags_of(text).c_str());
  const double decode_median = bench::summarize(rows[0].mb_per_s).median_mb_per_s;
  bool met = true;
  for (const Row& row : rows) {
    const bench::Throughput t = bench::summarize(row.mb_per_s);
    const double ratio = t.median_mb_per_s / decode_median;
    std::printf("  %-16s %10.1f %10.1f %10.1f %8.2f", row.operation, t.min_mb_per_s, t.median_mb_per_s,
                t.max_mb_per_s, ratio);
    if (std::string_view(row.operation) == "all three scans") {
      met = ratio >= all_scans_target;
      std::printf("  >=%.1f %s", all_scans_target, met ? "ok" : "MISSED");
    }
    std::printf("\n");
  }
  std::printf("\n");
  std::fflush(stdout);
  return met;
}

void print_usage() { bench::print_corpus_usage("signals_bench", default_options); }

std::optional<Options> parse_options(int argc, char** argv) {
  return bench::parse_corpus_options(argc, argv, default_options);
}

int run(const Options& options) {
  const std::vector<Input> inputs = {
      {"base64, 76 columns", make_wrapped_base64(input_bytes)},
      {"UDHR prose", make_repeated(bench::load_text_folder(options.corpus_dir).text, input_bytes)},
      {"ASCII prose", bench::make_ascii_prose(input_bytes)},
      {"combining-heavy", make_combining_heavy(input_bytes)},
  };
  std::printf("signal scans vs a plain UTF-8 decoding loop, %d repetitions\n\n", options.timing.repetitions);
  std::printf("  %-16s %10s %10s %10s %8s\n", "operation", "min MB/s", "med MB/s", "max MB/s", "ratio");
  int missed = 0;
  for (const Input& input : inputs) missed += measure_input(input, options) ? 0 : 1;
  std::printf("all three scans >= %.1f x decoding: %s\n", all_scans_target, missed == 0 ? "met" : "MISSED");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return bench::run_main<Options>("signals_bench", argc, argv, parse_options, print_usage, run);
}
