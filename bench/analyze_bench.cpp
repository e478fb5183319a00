// Throughput of orlenta.analyze's native detectors over the UDHR corpus,
// one call per translation as a caller checking texts makes them, next to
// the pipeline's three signal scans and a plain UTF-8 decoding loop over the
// same texts, timed in the same run.
//
//   analyze_bench [--corpus DIR] [--reps N] [--quick]
//
// The table gives min/median/max MB/s of input and the ratio of the
// medians to the decoding loop's, then each row's median over the time the
// thread was on a core, which stays put when other work shares the
// machine. analyze should reach 200 MB/s on-CPU.

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "bench_main.h"
#include "detect/analyze.h"
#include "passes/combining_signal.h"
#include "passes/encoded_blob_signal.h"
#include "passes/entropy_signal.h"
#include "policy/policy.h"
#include "text/utf8.h"
#include "throughput.h"

namespace {

constexpr double analyze_target_mb_per_s = 200;

using Options = bench::CorpusOptions;

const Options default_options{ORLENTA_DEFAULT_CORPUS_DIR, {7, 0.3, 0.05}};

struct Texts {
  std::vector<std::string> texts;
  std::size_t bytes = 0;
};

// Every *.txt file of the folder, in file-name order.
Texts load_texts(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> paths;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == ".txt") paths.push_back(entry.path());
  }
  std::sort(paths.begin(), paths.end());
  Texts loaded;
  for (const auto& path : paths) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    loaded.bytes += bytes.str().size();
    loaded.texts.push_back(bytes.str());
  }
  if (loaded.texts.empty()) throw std::runtime_error("no *.txt file in " + folder.string());
  return loaded;
}

std::uint64_t decode_all(const Texts& input) {
  std::uint64_t sum = 0;
  for (const std::string& text : input.texts) {
    for (std::size_t i = 0; i < text.size();) {
      std::size_t length = 0;
      sum += orlenta::decode_utf8(text.data() + i, length);
      i += length;
    }
  }
  return sum;
}

// What sanitize's report measures of a text: the three scans alone.
std::uint64_t measure_signals(const Texts& input) {
  const orlenta::SignalSpec& signals = orlenta::registry().signals;
  std::uint64_t sum = 0;
  for (const std::string& text : input.texts) {
    sum += orlenta::measure_combining_marks(text, signals).max_stack;
    sum += orlenta::measure_encoded_blobs(text, signals).base64ish ? 1 : 0;
    sum += static_cast<std::uint64_t>(orlenta::measure_entropy(text, signals).entropy);
  }
  return sum;
}

std::uint64_t analyze_all(const Texts& input) {
  std::uint64_t sum = 0;
  for (const std::string& text : input.texts) sum += orlenta::detect::analyze(text).size();
  return sum;
}

struct Row {
  const char* operation;
  bench::Operation run;
  std::size_t calls_per_pass = 1;
  std::vector<double> mb_per_s{};
  std::vector<double> on_cpu_mb_per_s{};
};

volatile std::uint64_t on_cpu_sink;

double thread_seconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// One pass timed by the thread's CPU clock.
double on_cpu_pass(const Row& row, std::size_t input_bytes) {
  const double start = thread_seconds();
  std::uint64_t sink = 0;
  for (std::size_t call = 0; call < row.calls_per_pass; ++call) sink += row.run();
  const double seconds = thread_seconds() - start;
  on_cpu_sink = on_cpu_sink + sink;
  return static_cast<double>(input_bytes) * static_cast<double>(row.calls_per_pass) / seconds / 1e6;
}

int run(const Options& options) {
  const Texts input = load_texts(options.corpus_dir);
  std::vector<Row> rows = {
      {.operation = "utf-8 decode", .run = [&] { return decode_all(input); }},
      {.operation = "signal scans", .run = [&] { return measure_signals(input); }},
      {.operation = "analyze", .run = [&] { return analyze_all(input); }},
  };
  for (Row& row : rows) row.calls_per_pass = bench::calls_per_pass(row.run, options.timing.min_pass_seconds);
  // Interleaved, so that drift in the machine's load affects every row alike.
  for (int rep = 0; rep < options.timing.repetitions; ++rep) {
    for (Row& row : rows) {
      row.mb_per_s.push_back(bench::time_pass(row.run, row.calls_per_pass, input.bytes));
      row.on_cpu_mb_per_s.push_back(on_cpu_pass(row, input.bytes));
    }
  }
  std::printf("analyze vs the signal scans and a UTF-8 decoding loop: %zu texts, %zu bytes, %llu findings, "
              "%d repetitions\n\n",
              input.texts.size(), input.bytes, static_cast<unsigned long long>(analyze_all(input)),
              options.timing.repetitions);
  std::printf("  %-14s %10s %10s %10s %8s %12s\n", "operation", "min MB/s", "med MB/s", "max MB/s", "ratio",
              "on-CPU MB/s");
  const double decode_median = bench::summarize(rows[0].mb_per_s).median_mb_per_s;
  bool met = true;
  for (const Row& row : rows) {
    const bench::Throughput t = bench::summarize(row.mb_per_s);
    const double on_cpu = bench::summarize(row.on_cpu_mb_per_s).median_mb_per_s;
    std::printf("  %-14s %10.1f %10.1f %10.1f %8.2f %12.1f", row.operation, t.min_mb_per_s, t.median_mb_per_s,
                t.max_mb_per_s, t.median_mb_per_s / decode_median, on_cpu);
    if (std::string_view(row.operation) == "analyze") {
      met = on_cpu >= analyze_target_mb_per_s;
      std::printf("  >=%.0f MB/s %s", analyze_target_mb_per_s, met ? "ok" : "MISSED");
    }
    std::printf("\n");
  }
  return 0;
}

void print_usage() { bench::print_corpus_usage("analyze_bench", default_options); }

std::optional<Options> parse_options(int argc, char** argv) {
  return bench::parse_corpus_options(argc, argv, default_options);
}

}  // namespace

int main(int argc, char** argv) {
  return bench::run_main<Options>("analyze_bench", argc, argv, parse_options, print_usage, run);
}
