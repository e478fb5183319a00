// libFuzzer target for the whole sanitize pipeline. The first byte picks the
// preset and the overrides; the rest is read as UTF-8 with every ill-formed
// byte taken as U+FFFD, since the pipeline only ever receives valid UTF-8
// (the text of a Python str). Checks what must hold for any text: the result
// or the one error there is, valid UTF-8 out, the report's account of the
// change, the output in its normalization form, a second pass that changes
// nothing, and a report whose JSON parses. The same checks then run on the
// output cut at a code point picked by the last byte. Every text goes in
// from a block of exactly its size.

#include <nlohmann/json.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "fuzz_checks.h"
#include "normkit/normalize.h"
#include "normkit/utf8.h"
#include "passes/removal_pass.h"
#include "pipeline/pipeline.h"
#include "report/report.h"

namespace {

using fuzz_checks::exact_copy;
using fuzz_checks::is_valid_utf8;
using fuzz_checks::require;

struct Options {
  std::string_view policy;
  std::optional<orlenta::NormalizationForm> normalization;
  std::optional<bool> tidy_whitespace;
  bool return_spans = false;
};

Options options_from(std::uint8_t byte) {
  static constexpr std::array<std::string_view, 4> presets = {"preserve", "balanced_chat", "strict_exec",
                                                              "code_mode"};
  Options options;
  options.policy = presets[byte & 3u];
  switch ((byte >> 2) & 3u) {
    case 1:
      options.normalization = orlenta::NormalizationForm::nfc;
      break;
    case 2:
      options.normalization = orlenta::NormalizationForm::nfkc;
      break;
    default:
      break;
  }
  switch ((byte >> 4) & 3u) {
    case 1:
      options.tidy_whitespace = false;
      break;
    case 2:
      options.tidy_whitespace = true;
      break;
    default:
      break;
  }
  options.return_spans = ((byte >> 6) & 1u) != 0;
  return options;
}

std::string as_valid_utf8(std::string_view bytes) {
  std::string text;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = p + bytes.size();
  while (p < end) {
    const normkit::utf8::Decoded decoded = normkit::utf8::decode(p, end);
    fuzz_checks::append_utf8(text, decoded.cp);
    p += decoded.length;
  }
  return text;
}

orlenta::Outcome<orlenta::SanitizeResult> sanitize(std::string_view text, const Options& options, bool spans) {
  const fuzz_checks::ExactCopy copy = exact_copy(text);
  return orlenta::sanitize_inner_with_overrides(copy.view(), options.policy, options.normalization,
                                                options.tidy_whitespace, spans);
}

bool stat_is_true(const orlenta::SanitizeReport& report, std::string_view name) {
  const auto found = report.stats.find(name);
  require(found != report.stats.end(), "every report has the driver's statistics", "report");
  const bool* value = std::get_if<bool>(&found->second);
  require(value != nullptr, "flags in the statistics are booleans", "report");
  return *value;
}

void check_spans(const orlenta::SanitizeReport& report) {
  std::uint64_t previous_start = 0;
  for (const orlenta::SpanEvent& span : report.spans) {
    require(span.end > span.start && span.end - span.start <= 4, "a span covers one code point", "spans");
    require(span.start >= previous_start, "spans come in text order", "spans");
    previous_start = span.start;
  }
}

// Sanitizes `text` and checks the result, then a second pass over it. The
// output, or nothing when the call ends in the span limit's error.
std::optional<std::string> check_sanitized(std::string_view text, const Options& options, const char* context) {
  auto outcome = sanitize(text, options, options.return_spans);
  if (const orlenta::Error* error = std::get_if<orlenta::Error>(&outcome)) {
    require(options.return_spans && error->message == orlenta::span_limit_message,
            "the only error is the span limit, and only with spans", context);
    return std::nullopt;
  }
  orlenta::SanitizeResult& result = std::get<orlenta::SanitizeResult>(outcome);
  const std::string& output = result.text;
  const orlenta::SanitizeReport& report = result.report;

  require(is_valid_utf8(output), "the output is valid UTF-8", context);
  require(report.changed == (output != text), "the report says changed exactly when the text changed", context);
  require(nlohmann::json::accept(orlenta::report_to_json(report)), "the report's JSON parses", context);
  if (options.return_spans) check_spans(report);

  // A truncated normalization may cut the text inside what would compose,
  // so form and stability are only promised for texts that were not cut.
  if (stat_is_true(report, "normalization_truncated")) return std::move(result.text);
  const std::optional<orlenta::NormalizationForm> form = orlenta::form_from_name(report.normalization);
  require(form.has_value(), "the report names its normalization form", context);
  const normkit::Form normkit_form =
      *form == orlenta::NormalizationForm::nfkc ? normkit::Form::nfkc : normkit::Form::nfc;
  require(normkit::is_normalized(exact_copy(output).view(), normkit_form),
          "the output is in the policy's normalization form", context);

  auto again = sanitize(output, options, false);
  require(std::holds_alternative<orlenta::SanitizeResult>(again), "a second pass succeeds", context);
  const orlenta::SanitizeResult& second = std::get<orlenta::SanitizeResult>(again);
  require(second.text == output, "a second pass changes nothing", context);
  require(second.report.removed_counts.empty(), "a second pass removes nothing", context);
  return std::move(result.text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const Options options = options_from(data[0]);
  const std::string text = as_valid_utf8(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  const std::optional<std::string> output = check_sanitized(text, options, "input");
  if (!output) return 0;
  check_sanitized(fuzz_checks::cut_at_code_point(*output, data[size - 1]), options, "output cut at a code point");
  return 0;
}
