// Throughput of normkit against ICU, measured in the same run on the same
// inputs so that the ratios do not depend on the machine's mood.
//
//   normalization_bench [--corpus DIR] [--reps N] [--quick]
//
// Inputs: the UDHR corpus concatenated as stored (NFC but for a few files),
// its NFD form (made with ICU, so every composable pair has to be recomposed)
// and 1 MB of ASCII prose. For NFC and NFKC it times the quick check and the
// exact check against ICU's isNormalizedUTF8, and full normalization into a
// std::string against ICU's normalizeUTF8. Each repetition times normkit and
// ICU back to back; the table gives min/median/max MB/s of input and the
// ratio of the medians, normkit over ICU.
//
// The checks run line by line, as a caller deciding for each message whether
// it needs normalizing. Over a whole text they would stop at the first
// stretch that is not normalized and time nothing but where that is.

#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>
#include <unicode/stringpiece.h>
#include <unicode/uchar.h>
#include <unicode/uversion.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bench_inputs.h"
#include "bench_main.h"
#include "normkit/normalize.h"
#include "throughput.h"

namespace {

using Options = bench::CorpusOptions;

const Options default_options{ORLENTA_DEFAULT_CORPUS_DIR, {7, 0.05, 0.01}};

struct Input {
  std::string name;
  std::string text;
  // Lowest acceptable normkit/ICU ratio for full normalization. Recomposing
  // decomposed text is where ICU's precomputed composition data pays off
  // most, hence the lower bar there.
  double full_normalization_target;
};

struct Row {
  std::string operation;
  // What the operation answers on this input: for the checks, the share of
  // lines they accept (a rejected line may have been left early); for
  // normalization, the size of the output.
  std::string answer;
  bench::Operation run;
  std::size_t calls_per_pass = 1;
  std::vector<double> mb_per_s{};
  // The ICU row this normkit row is compared with, and the ratio it must
  // reach; absent for the ICU rows themselves.
  std::optional<std::size_t> baseline{};
  double target_ratio = 0;
};

struct Group {
  const Input* input;
  normkit::Form form;
  std::vector<Row> rows;
  std::optional<std::string> disagreement;
};

const char* form_name(normkit::Form form) { return form == normkit::Form::nfc ? "NFC" : "NFKC"; }

void require_icu_success(UErrorCode status, const char* what) {
  if (U_FAILURE(status)) {
    throw std::runtime_error(std::string(what) + ": " + u_errorName(status));
  }
}

const icu::Normalizer2& icu_normalizer(normkit::Form form) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* normalizer = form == normkit::Form::nfc
                                           ? icu::Normalizer2::getNFCInstance(status)
                                           : icu::Normalizer2::getNFKCInstance(status);
  require_icu_success(status, "ICU normalizer instance");
  return *normalizer;
}

icu::StringPiece as_piece(std::string_view text) {
  return icu::StringPiece(text.data(), static_cast<int32_t>(text.size()));
}

std::string icu_normalize(const icu::Normalizer2& normalizer, std::string_view text) {
  std::string out;
  icu::StringByteSink<std::string> sink(&out, static_cast<int32_t>(text.size()));
  UErrorCode status = U_ZERO_ERROR;
  normalizer.normalizeUTF8(0, as_piece(text), sink, nullptr, status);
  require_icu_success(status, "ICU normalizeUTF8");
  return out;
}

bool icu_is_normalized(const icu::Normalizer2& normalizer, std::string_view text) {
  UErrorCode status = U_ZERO_ERROR;
  const bool normalized = normalizer.isNormalizedUTF8(as_piece(text), status);
  require_icu_success(status, "ICU isNormalizedUTF8");
  return normalized;
}

std::string normkit_pull_all(std::string_view text, normkit::Form form) {
  normkit::ComposeStream stream(text, form);
  std::string out;
  out.reserve(text.size());
  stream.pull_utf8(out, std::numeric_limits<std::uint64_t>::max());
  return out;
}

std::optional<std::string> compare_outputs(const std::string& ours, const std::string& icu) {
  if (ours == icu) {
    return std::nullopt;
  }
  std::size_t at = 0;
  while (at < ours.size() && at < icu.size() && ours[at] == icu[at]) {
    ++at;
  }
  return "normalized text differs from ICU's from byte " + std::to_string(at);
}

// The lines of the text, each with its line feed, so that together they
// cover the text exactly.
std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size() - 1) + 1;
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end);
  }
  return lines;
}

template <typename Check>
std::uint64_t count_accepted(const std::vector<std::string_view>& lines, Check accepts) {
  std::uint64_t accepted = 0;
  for (const std::string_view line : lines) {
    accepted += accepts(line) ? 1 : 0;
  }
  return accepted;
}

std::string share_of_lines(const char* answer, std::uint64_t accepted, std::size_t lines) {
  char text[32];
  std::snprintf(text, sizeof text, "%s %.1f%%", answer,
                100.0 * static_cast<double>(accepted) / static_cast<double>(lines));
  return text;
}

std::optional<std::string> compare_checks(const std::vector<std::string_view>& lines, normkit::Form form,
                                          const icu::Normalizer2& icu) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (normkit::is_normalized(lines[i], form) != icu_is_normalized(icu, lines[i])) {
      return "is_normalized differs from ICU's isNormalizedUTF8 on line " + std::to_string(i + 1);
    }
  }
  return std::nullopt;
}

Group make_group(const Input& input, normkit::Form form) {
  const std::string_view text = input.text;
  const std::vector<std::string_view> lines = split_lines(text);
  const icu::Normalizer2& icu = icu_normalizer(form);
  const std::string ours_normalized = normkit_pull_all(text, form);
  const std::string icu_normalized = icu_normalize(icu, text);

  const auto quick_yes = [form](std::string_view line) {
    return normkit::quick_check(line, form) == normkit::QuickCheck::yes;
  };
  const auto ours_exact = [form](std::string_view line) { return normkit::is_normalized(line, form); };
  const auto icu_exact = [&icu](std::string_view line) { return icu_is_normalized(icu, line); };

  Group group{.input = &input, .form = form, .rows = {}, .disagreement = {}};
  group.disagreement = compare_outputs(ours_normalized, icu_normalized);
  if (!group.disagreement) {
    group.disagreement = compare_checks(lines, form, icu);
  }

  constexpr std::size_t icu_check_row = 2;
  constexpr std::size_t icu_normalize_row = 4;
  constexpr double check_target = 1.0;
  group.rows.push_back(Row{
      .operation = "normkit quick_check",
      .answer = share_of_lines("yes", count_accepted(lines, quick_yes), lines.size()),
      .run = [lines, quick_yes] { return count_accepted(lines, quick_yes); },
      .baseline = icu_check_row,
      .target_ratio = check_target});
  group.rows.push_back(Row{
      .operation = "normkit is_normalized",
      .answer = share_of_lines("true", count_accepted(lines, ours_exact), lines.size()),
      .run = [lines, ours_exact] { return count_accepted(lines, ours_exact); },
      .baseline = icu_check_row,
      .target_ratio = check_target});
  group.rows.push_back(Row{
      .operation = "ICU isNormalizedUTF8",
      .answer = share_of_lines("true", count_accepted(lines, icu_exact), lines.size()),
      .run = [lines, icu_exact] { return count_accepted(lines, icu_exact); }});
  group.rows.push_back(Row{
      .operation = "normkit pull_utf8",
      .answer = std::to_string(ours_normalized.size()) + " B",
      .run = [text, form] { return static_cast<std::uint64_t>(normkit_pull_all(text, form).size()); },
      .baseline = icu_normalize_row,
      .target_ratio = input.full_normalization_target});
  group.rows.push_back(Row{
      .operation = "ICU normalizeUTF8",
      .answer = std::to_string(icu_normalized.size()) + " B",
      .run = [text, &icu] { return static_cast<std::uint64_t>(icu_normalize(icu, text).size()); }});
  return group;
}

// Times every row of the group once per repetition, normkit and ICU
// interleaved, so that drift in machine load affects both sides alike.
void measure(Group& group, const Options& options) {
  for (Row& row : group.rows) {
    row.calls_per_pass = bench::calls_per_pass(row.run, options.timing.min_pass_seconds);
  }
  for (int rep = 0; rep < options.timing.repetitions; ++rep) {
    for (Row& row : group.rows) {
      row.mb_per_s.push_back(bench::time_pass(row.run, row.calls_per_pass, group.input->text.size()));
    }
  }
}

void print_table_header() {
  std::printf("%-11s %9s %-5s %-22s %-11s %10s %10s %10s %7s  %s\n", "input", "bytes", "form",
              "operation", "answer", "min MB/s", "med MB/s", "max MB/s", "ratio", "target");
}

void print_group(const Group& group, bench::TargetTally& tally) {
  std::vector<bench::Throughput> summaries;
  for (const Row& row : group.rows) {
    summaries.push_back(bench::summarize(row.mb_per_s));
  }
  for (std::size_t i = 0; i < group.rows.size(); ++i) {
    const Row& row = group.rows[i];
    const bench::Throughput& own = summaries[i];
    const bool first = i == 0;
    std::printf("%-11s %9s %-5s %-22s %-11s %10.1f %10.1f %10.1f", first ? group.input->name.c_str() : "",
                first ? std::to_string(group.input->text.size()).c_str() : "",
                first ? form_name(group.form) : "", row.operation.c_str(), row.answer.c_str(),
                own.min_mb_per_s, own.median_mb_per_s, own.max_mb_per_s);
    if (row.baseline) {
      const double ratio = own.median_mb_per_s / summaries[*row.baseline].median_mb_per_s;
      const bool met = ratio >= row.target_ratio;
      std::printf(" %7.2f  >=%.1f %s\n", ratio, row.target_ratio, met ? "ok" : "MISSED");
      if (met) {
        ++tally.met;
      } else {
        tally.missed.push_back(group.input->name + " " + form_name(group.form) + " " + row.operation);
      }
    } else {
      std::printf("\n");
    }
  }
  if (group.disagreement) {
    std::printf("  WARNING: %s\n", group.disagreement->c_str());
  }
  std::printf("\n");
  std::fflush(stdout);
}

void print_usage() { bench::print_corpus_usage("normalization_bench", default_options); }

std::optional<Options> parse_options(int argc, char** argv) {
  return bench::parse_corpus_options(argc, argv, default_options);
}

int run(const Options& options) {
  const bench::LoadedCorpus corpus = bench::load_text_folder(options.corpus_dir);
  std::vector<Input> inputs;
  inputs.push_back(Input{"corpus", corpus.text, 1.0});
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
  require_icu_success(status, "ICU NFD instance");
  inputs.push_back(Input{"corpus NFD", icu_normalize(*nfd, corpus.text), 0.7});
  inputs.push_back(Input{"ascii", bench::make_ascii_prose(1 << 20), 1.0});
  for (const Input& input : inputs) {
    if (input.text.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
      throw std::runtime_error("input too large for ICU's 32-bit lengths: " + input.name);
    }
  }

  std::printf("normkit (Unicode %s) vs ICU %s (Unicode %s), %d repetitions\n",
              std::string(normkit::unicode_version).c_str(), U_ICU_VERSION, U_UNICODE_VERSION,
              options.timing.repetitions);
  std::printf("corpus: %zu files from %s\n\n", corpus.file_count, options.corpus_dir.c_str());
  print_table_header();

  bench::TargetTally tally;
  for (const Input& input : inputs) {
    for (const normkit::Form form : {normkit::Form::nfc, normkit::Form::nfkc}) {
      Group group = make_group(input, form);
      measure(group, options);
      print_group(group, tally);
    }
  }

  bench::print_tally(tally);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return bench::run_main<Options>("normalization_bench", argc, argv, parse_options, print_usage, run);
}
