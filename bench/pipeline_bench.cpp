// Throughput of the native sanitize pipeline, without Python: the pipeline
// and the JSON form of its report, per preset, next to ICU's NFC
// normalization of the same input measured in the same run. NFC is the
// least any sanitizer does to its input, so the ratio tells how much the
// removal pass, the tidying, the signals and the report add to it.
//
//   python bench/bench_texts.py --out DIR      (writes the inputs)
//   pipeline_bench --texts DIR [--reps N] [--quick] [--messages]
//
// Inputs, written by bench_texts.py so that both benchmarks read the same
// bytes: the UDHR corpus as stored, 10 MB of ASCII prose, 10 MB of emoji
// chat, 10 MB of adversarial text (one code point in five removable), and
// the adversarial text cut short enough to be sanitized with return_spans
// (at most 10000 span events per call), and 10000 chat messages of 50 to 300
// characters (slices of the corpus and of emoji chat), each sanitized by a
// call of its own: there the fixed cost of a call is what counts, and the
// figure is the time per message next to ICU's NFC of the same message.
// The messages are also run through each phase of balanced_chat alone, to
// show where a message's time goes.

#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>
#include <unicode/stringpiece.h>
#include <unicode/uversion.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "bench_main.h"
#include "passes/bounded_normalization.h"
#include "passes/combining_signal.h"
#include "passes/encoded_blob_signal.h"
#include "passes/entropy_signal.h"
#include "passes/removal_pass.h"
#include "passes/text_census.h"
#include "passes/whitespace_tidy.h"
#include "pipeline/pipeline.h"
#include "policy/policy.h"
#include "report/report.h"
#include "throughput.h"

namespace {

struct Options {
  std::filesystem::path texts_dir;
  bench::Timing timing{5, 0.05, 0.01};
  bool messages_only = false;
};

struct Row {
  std::string name;
  bench::Operation run;
  std::size_t calls_per_pass = 1;
  std::vector<double> mb_per_s{};
  // Targets against the group's reference row, when the row has one: a
  // lowest throughput ratio, or a highest slowdown (reference MB/s over own).
  std::optional<double> min_ratio{};
  std::optional<double> max_slowdown{};
  // For a group of messages: the most time a message may take.
  std::optional<double> max_ns_per_message{};
};

// The inputs, loaded once; groups and their operations only view them.
struct Texts {
  std::string corpus;
  std::string ascii_prose;
  std::string emoji_chat;
  std::string adversarial;
  std::string adversarial_spans;
  std::string chat_messages;
};

struct Group {
  std::string input_name;
  std::string_view text;
  // Set when the group's operations run over messages, one call each.
  std::size_t messages = 0;
  // Rows[0] is the reference the other rows are divided by.
  std::vector<Row> rows;
};

constexpr const char* presets[] = {"preserve", "balanced_chat", "strict_exec", "code_mode"};

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw std::runtime_error("cannot read " + path.string() + " (write it with bench/bench_texts.py --out)");
  }
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const icu::Normalizer2& icu_nfc() {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
  if (U_FAILURE(status)) {
    throw std::runtime_error(std::string("ICU NFC instance: ") + u_errorName(status));
  }
  return *normalizer;
}

std::uint64_t icu_nfc_size(const icu::Normalizer2& nfc, std::string_view text) {
  std::string out;
  icu::StringByteSink<std::string> sink(&out, static_cast<int32_t>(text.size()));
  UErrorCode status = U_ZERO_ERROR;
  nfc.normalizeUTF8(0, icu::StringPiece(text.data(), static_cast<int32_t>(text.size())), sink, nullptr, status);
  if (U_FAILURE(status)) {
    throw std::runtime_error(std::string("ICU normalizeUTF8: ") + u_errorName(status));
  }
  return out.size();
}

// What one Python sanitize call costs below the interpreter: the pipeline
// and the report's JSON text.
std::uint64_t sanitize_with_json(std::string_view text, const char* preset, bool return_spans) {
  auto outcome = orlenta::sanitize_inner_with_overrides(text, preset, std::nullopt, std::nullopt, return_spans);
  if (const auto* error = std::get_if<orlenta::Error>(&outcome)) {
    throw std::runtime_error(std::string("sanitize under ") + preset + ": " + error->message);
  }
  const auto& result = std::get<orlenta::SanitizeResult>(outcome);
  return result.text.size() + orlenta::report_to_json(result.report).size();
}

// The messages of a file in which each one ends with a NUL byte.
std::vector<std::string_view> split_messages(std::string_view file) {
  std::vector<std::string_view> messages;
  for (std::size_t start = 0; start < file.size();) {
    const std::size_t end = file.find('\0', start);
    if (end == std::string_view::npos) throw std::runtime_error("chat messages: the last message has no end");
    messages.push_back(file.substr(start, end - start));
    start = end + 1;
  }
  return messages;
}

// One operation per message, each a call of its own.
template <class PerMessage>
bench::Operation over_messages(std::vector<std::string_view> messages, PerMessage per_message) {
  return [messages = std::move(messages), per_message] {
    std::uint64_t folded = 0;
    for (const std::string_view message : messages) folded += per_message(message);
    return folded;
  };
}

std::uint64_t sanitize_size(std::string_view text, const char* preset) {
  auto outcome = orlenta::sanitize_inner_with_overrides(text, preset, std::nullopt, std::nullopt, false);
  if (const auto* error = std::get_if<orlenta::Error>(&outcome)) {
    throw std::runtime_error(std::string("sanitize under ") + preset + ": " + error->message);
  }
  return std::get<orlenta::SanitizeResult>(outcome).text.size();
}

// The signal scans as the pipeline runs them, the entropy alone or all
// three: the entropy's count of a short text settles most of the two scans
// after it.
std::uint64_t scan_signals(std::string_view m, const orlenta::SignalSpec& signals, bool all_three) {
  orlenta::TextCensus census;
  const std::uint64_t lead_bytes = orlenta::combining_lead_bytes();
  std::uint64_t folded = orlenta::measure_entropy_and_census(m, signals, lead_bytes, census).high ? 1 : 0;
  if (all_three) {
    folded += orlenta::measure_combining_marks_with_census(m, signals, census).max_stack;
    folded += orlenta::measure_encoded_blobs_with_census(m, signals, census).base64ish ? 1 : 0;
  }
  return folded;
}

// Chat messages one call each: the pipeline alone, which is what a caller
// that takes the report as it is pays, and with the report's JSON text, which
// orlenta._core.sanitize writes for json.loads. Then each phase of
// balanced_chat alone, to show where a message's time goes. A message that
// the earlier phases leave as it is, as most are, is what each later phase
// reads, so every phase here reads the message itself. What the pipeline
// takes beyond the phases is the report, the copies of the text and the
// allocations. The input bytes leave out the message ends.
Group messages_group(std::string_view file) {
  std::vector<std::string_view> messages = split_messages(file);
  const icu::Normalizer2& nfc = icu_nfc();
  const orlenta::ResolvedPolicy& policy = *orlenta::find_policy("balanced_chat");
  const auto normalization = [&policy](std::string_view m) -> std::uint64_t {
    return orlenta::normalize_text_with_limit(m, policy.normalization, std::nullopt).output_chars;
  };
  const auto removal = [&policy](std::string_view m) -> std::uint64_t {
    auto outcome = orlenta::remove_characters(std::string(m), policy, orlenta::SpanRecording::none);
    return std::get<orlenta::Removal>(outcome).text.size();
  };
  const auto tidy = [](std::string_view m) -> std::uint64_t {
    std::string text(m);
    return orlenta::run_whitespace_tidy(text) + text.size();
  };
  const auto entropy = [&policy](std::string_view m) { return scan_signals(m, policy.signals, false); };
  const auto signals = [&policy](std::string_view m) { return scan_signals(m, policy.signals, true); };
  Group group{.input_name = "chat messages", .text = file, .messages = messages.size(), .rows = {}};
  group.rows.push_back(Row{.name = "ICU NFC normalizeUTF8",
                           .run = over_messages(messages, [&nfc](std::string_view m) { return icu_nfc_size(nfc, m); })});
  group.rows.push_back(Row{.name = "balanced_chat",
                           .run = over_messages(messages, [](std::string_view m) { return sanitize_size(m, "balanced_chat"); }),
                           .max_ns_per_message = 1200});
  group.rows.push_back(
      Row{.name = "balanced_chat + report JSON",
          .run = over_messages(messages, [](std::string_view m) { return sanitize_with_json(m, "balanced_chat", false); })});
  group.rows.push_back(Row{.name = "  first normalization", .run = over_messages(messages, normalization)});
  group.rows.push_back(Row{.name = "  removal pass", .run = over_messages(messages, removal)});
  group.rows.push_back(Row{.name = "  whitespace tidy", .run = over_messages(messages, tidy)});
  group.rows.push_back(Row{.name = "  entropy signal", .run = over_messages(messages, entropy)});
  group.rows.push_back(Row{.name = "  all three signal scans", .run = over_messages(messages, signals)});
  return group;
}

Row icu_row(std::string_view text) {
  const icu::Normalizer2& nfc = icu_nfc();
  return Row{.name = "ICU NFC normalizeUTF8", .run = [text, &nfc] { return icu_nfc_size(nfc, text); }};
}

Row sanitize_row(std::string_view text, const char* preset, bool return_spans) {
  std::string name = std::string(preset) + (return_spans ? " return_spans" : "");
  return Row{.name = std::move(name),
             .run = [text, preset, return_spans] { return sanitize_with_json(text, preset, return_spans); }};
}

// Every preset on one input; balanced_chat must reach half of ICU's NFC
// throughput on real text and on ASCII.
Group presets_group(std::string name, std::string_view text, bool with_target) {
  Group group{.input_name = std::move(name), .text = text, .rows = {}};
  group.rows.push_back(icu_row(group.text));
  for (const char* preset : presets) {
    Row row = sanitize_row(group.text, preset, false);
    if (with_target && std::string_view(preset) == "balanced_chat") {
      row.min_ratio = 0.5;
    }
    group.rows.push_back(std::move(row));
  }
  return group;
}

// return_spans against the same call without it: the reference row here is
// balanced_chat without spans, and spans may cost at most three times as much.
Group spans_group(std::string_view text) {
  Group group{.input_name = "adversarial (spans)", .text = text, .rows = {}};
  group.rows.push_back(sanitize_row(group.text, "balanced_chat", false));
  Row with_spans = sanitize_row(group.text, "balanced_chat", true);
  with_spans.max_slowdown = 3.0;
  group.rows.push_back(std::move(with_spans));
  group.rows.push_back(icu_row(group.text));
  return group;
}

// The bytes a pass reads: a group of messages leaves out their ends.
std::size_t input_bytes(const Group& group) { return group.text.size() - group.messages; }

// All rows once per repetition, in turn, so that drifting machine load
// touches them alike.
void measure(Group& group, const Options& options) {
  for (Row& row : group.rows) {
    row.calls_per_pass = bench::calls_per_pass(row.run, options.timing.min_pass_seconds);
  }
  for (int rep = 0; rep < options.timing.repetitions; ++rep) {
    for (Row& row : group.rows) {
      row.mb_per_s.push_back(bench::time_pass(row.run, row.calls_per_pass, input_bytes(group)));
    }
  }
}

// Nanoseconds per message of a pass at `mb_per_s`.
double ns_per_message(const Group& group, double mb_per_s) {
  return static_cast<double>(input_bytes(group)) / static_cast<double>(group.messages) / mb_per_s * 1e3;
}

void print_group(const Group& group, bench::TargetTally& tally) {
  const bench::Throughput reference = bench::summarize(group.rows[0].mb_per_s);
  for (std::size_t i = 0; i < group.rows.size(); ++i) {
    const Row& row = group.rows[i];
    const bench::Throughput own = bench::summarize(row.mb_per_s);
    const double ratio = own.median_mb_per_s / reference.median_mb_per_s;
    std::printf("%-20s %9s %-28s %9.1f %9.1f %9.1f %7.2f", i == 0 ? group.input_name.c_str() : "",
                i == 0 ? std::to_string(input_bytes(group)).c_str() : "", row.name.c_str(), own.min_mb_per_s,
                own.median_mb_per_s, own.max_mb_per_s, ratio);
    if (group.messages != 0) std::printf("  %6.0f ns/message", ns_per_message(group, own.median_mb_per_s));
    std::optional<bool> met;
    if (row.max_ns_per_message) {
      met = ns_per_message(group, own.median_mb_per_s) <= *row.max_ns_per_message;
      std::printf(", <=%.0f %s", *row.max_ns_per_message, *met ? "ok" : "MISSED");
    } else if (row.min_ratio) {
      met = ratio >= *row.min_ratio;
      std::printf("  >=%.1fx %s", *row.min_ratio, *met ? "ok" : "MISSED");
    } else if (row.max_slowdown) {
      met = 1.0 / ratio <= *row.max_slowdown;
      std::printf("  slowdown %.2fx, <=%.0fx %s", 1.0 / ratio, *row.max_slowdown, *met ? "ok" : "MISSED");
    }
    std::printf("\n");
    if (met == true) {
      ++tally.met;
    } else if (met == false) {
      tally.missed.push_back(group.input_name + ": " + row.name);
    }
  }
  std::printf("\n");
  std::fflush(stdout);
}

void print_usage() {
  std::fprintf(stderr,
               "usage: pipeline_bench --texts DIR [--reps N] [--quick] [--messages]\n"
               "  --texts DIR  folder written by `python bench/bench_texts.py --out DIR`\n"
               "  --reps N     timed repetitions per measurement, at least 1 (default 5)\n"
               "  --quick      2 short repetitions, for a fast look while developing\n"
               "  --messages   only the chat messages, one call each, whole and phase by phase\n");
}

std::optional<Options> parse_options(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--texts" && has_value) {
      options.texts_dir = argv[++i];
    } else if (arg == "--messages") {
      options.messages_only = true;
    } else if (!bench::parse_timing_option(argc, argv, i, options.timing)) {
      return std::nullopt;
    }
  }
  if (options.texts_dir.empty()) {
    return std::nullopt;
  }
  return options;
}

int run(const Options& options) {
  const auto read = [&options](const char* file) { return read_file(options.texts_dir / file); };
  const Texts texts{.corpus = read("corpus.txt"),
                    .ascii_prose = read("ascii_prose.txt"),
                    .emoji_chat = read("emoji_chat.txt"),
                    .adversarial = read("adversarial.txt"),
                    .adversarial_spans = read("adversarial_spans.txt"),
                    .chat_messages = read("chat_messages.txt")};
  std::vector<Group> groups;
  if (!options.messages_only) {
    groups.push_back(presets_group("corpus", texts.corpus, true));
    groups.push_back(presets_group("ascii prose", texts.ascii_prose, true));
    groups.push_back(presets_group("emoji chat", texts.emoji_chat, false));
    groups.push_back(presets_group("adversarial", texts.adversarial, false));
    groups.push_back(spans_group(texts.adversarial_spans));
  }
  groups.push_back(messages_group(texts.chat_messages));
  for (const Group& group : groups) {
    if (group.text.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
      throw std::runtime_error("input too large for ICU's 32-bit lengths: " + group.input_name);
    }
  }

  std::printf("sanitize pipeline + report JSON vs ICU %s NFC, %d repetitions, texts from %s\n",
              U_ICU_VERSION, options.timing.repetitions, options.texts_dir.c_str());
  std::printf("ratio: median MB/s over the group's first row\n\n");
  std::printf("%-20s %9s %-28s %9s %9s %9s %7s  %s\n", "input", "bytes", "run", "min MB/s", "med MB/s",
              "max MB/s", "ratio", "target");

  bench::TargetTally tally;
  for (Group& group : groups) {
    measure(group, options);
    print_group(group, tally);
  }
  bench::print_tally(tally);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return bench::run_main<Options>("pipeline_bench", argc, argv, parse_options, print_usage, run);
}
