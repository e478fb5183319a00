// The compact JSON text of a report. The skeleton is written directly: the
// keys are fixed, and a report is serialized on every sanitize call, so
// building a general JSON document first would cost more than the rest of
// the writing.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <variant>

#include <nlohmann/json.hpp>

#include "report/report.h"

namespace orlenta {
namespace {

// Printable ASCII other than the quotation mark and the backslash is copied
// as it is.
bool needs_escaping(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x80 || byte == '"' || byte == '\\') return true;
  }
  return false;
}

void write_string(std::string& out, std::string_view text) {
  if (!needs_escaping(text)) {
    out += '"';
    out += text;
    out += '"';
    return;
  }
  // The rare case: escapes, and non-ASCII kept as raw UTF-8. The strings of
  // a report are valid UTF-8; should one not be, its bad bytes become U+FFFD
  // rather than an exception.
  out += nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void write_unsigned(std::string& out, std::uint64_t value) {
  char digits[20];
  const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
  out.append(digits, end);
}

// std::to_chars gives the shortest text that reads back to the same double.
// Python must read it back as a float, so an integral value gets ".0".
void write_float(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  char text[32];  // the longest shortest form, "-2.2250738585072014e-308", has 24
  const auto end = std::to_chars(std::begin(text), std::end(text), value).ptr;
  const std::string_view shortest(text, static_cast<std::size_t>(end - text));
  out += shortest;
  if (shortest.find_first_of(".e") == shortest.npos) out += ".0";
}

void write_stat(std::string& out, const StatValue& value) {
  if (const bool* flag = std::get_if<bool>(&value)) {
    out += *flag ? "true" : "false";
  } else if (const std::uint64_t* count = std::get_if<std::uint64_t>(&value)) {
    write_unsigned(out, *count);
  } else if (const double* number = std::get_if<double>(&value)) {
    write_float(out, *number);
  } else {
    write_string(out, std::get<std::string>(value));
  }
}

// Both maps are ordered by key, so the members come out sorted.
template <class Map, class WriteValue>
void write_object(std::string& out, const Map& map, WriteValue write_value) {
  out += '{';
  bool first = true;
  for (const auto& [key, value] : map) {
    if (!first) out += ',';
    first = false;
    write_string(out, key);
    out += ':';
    write_value(out, value);
  }
  out += '}';
}

void write_span(std::string& out, const SpanEvent& span) {
  out += "{\"kind\":";
  write_string(out, span.kind);
  out += ",\"reason\":";
  write_string(out, span.reason);
  out += ",\"start\":";
  write_unsigned(out, span.start);
  out += ",\"end\":";
  write_unsigned(out, span.end);
  out += ",\"detail\":";
  write_string(out, span.detail);
  out += '}';
}

}  // namespace

std::string report_to_json(const SanitizeReport& report) {
  std::string out;
  // Roughly the final size, so that the buffer grows once at most.
  out.reserve(256 + 48 * (report.stats.size() + report.removed_counts.size() + report.flagged_counts.size()) +
              96 * report.spans.size());
  out += "{\"report_version\":";
  write_unsigned(out, report.report_version);
  out += ",\"policy\":";
  write_string(out, report.policy);
  out += ",\"normalization\":";
  write_string(out, report.normalization);
  out += ",\"changed\":";
  out += report.changed ? "true" : "false";
  out += ",\"removed_counts\":";
  write_object(out, report.removed_counts, write_unsigned);
  out += ",\"flagged_counts\":";
  write_object(out, report.flagged_counts, write_unsigned);
  out += ",\"spans\":[";
  for (std::size_t i = 0; i < report.spans.size(); ++i) {
    if (i > 0) out += ',';
    write_span(out, report.spans[i]);
  }
  out += "],\"stats\":";
  write_object(out, report.stats, write_stat);
  out += '}';
  return out;
}

}  // namespace orlenta
