#include "pipeline/file_scan.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <variant>

#include "normkit/normalize.h"
#include "normkit/utf8.h"
#include "passes/decision_filter.h"
#include "passes/removal_pass.h"
#include "pipeline/utf8_validation.h"
#include "text/utf8.h"

namespace orlenta {
namespace {

// The pass runs over stretches of about this many bytes.
constexpr std::size_t stretch_bytes = std::size_t{1} << 16;

// Where the stretch that starts at `start` ends: before the first plain
// ASCII byte (printable, tab, line feed) at least stretch_bytes further on.
// The pass needs no decision for such a byte and forgets, on keeping it,
// every state that a decision after it could depend on: the variation
// selector before, the protected flag tags, the base of a selector. So the
// pass gives the same events on the stretches as on the whole text. Such a
// byte is never part of a longer sequence, so every stretch is whole UTF-8
// and a cut never moves where validation fails.
std::size_t stretch_end(std::string_view bytes, std::size_t start) {
  if (bytes.size() - start <= stretch_bytes) return bytes.size();
  for (std::size_t i = start + stretch_bytes; i < bytes.size(); ++i) {
    if (is_plain_ascii_byte(static_cast<unsigned char>(bytes[i]))) return i;
  }
  return bytes.size();
}

// Line and column of a byte offset, moved forward finding by finding, so
// that locating all of them walks the file once.
struct Cursor {
  std::uint64_t offset = 0;
  std::uint64_t line = 1;
  std::uint64_t column = 1;
};

void advance(Cursor& cursor, std::string_view bytes, std::uint64_t offset) {
  const char* p = bytes.data() + cursor.offset;
  const char* const end = bytes.data() + offset;
  const char* line_start = nullptr;
  while (const void* feed = std::memchr(p, '\n', static_cast<std::size_t>(end - p))) {
    ++cursor.line;
    p = static_cast<const char*>(feed) + 1;
    line_start = p;
  }
  if (line_start != nullptr) {
    cursor.column = 1 + count_code_points({line_start, static_cast<std::size_t>(end - line_start)});
  } else {
    cursor.column += count_code_points(bytes.substr(cursor.offset, offset - cursor.offset));
  }
  cursor.offset = offset;
}

std::uint8_t reason_index(std::string_view reason) {
  const auto found = std::find(finding_reason_names.begin(), finding_reason_names.end(), reason);
  if (found == finding_reason_names.end()) throw InternalFault("the removal pass gave an unknown reason");
  return static_cast<std::uint8_t>(found - finding_reason_names.begin());
}

ScanFinding locate(Cursor& cursor, std::string_view bytes, std::uint64_t offset, std::uint32_t code_point,
                   std::uint8_t reason, FindingKind kind) {
  advance(cursor, bytes, offset);
  return ScanFinding{.byte_offset = offset,
                     .line = cursor.line,
                     .column = cursor.column,
                     .code_point = code_point,
                     .reason = reason,
                     .kind = kind};
}

// A carriage return right before a line feed ends a Windows line, which is
// no attack.
bool ends_crlf(std::string_view bytes, const SpanEvent& span, std::uint64_t offset) {
  return span.reason == "carriage_return" && offset + 1 < bytes.size() && bytes[offset + 1] == '\n';
}

// Scans the stretch [start, end); false when it is not UTF-8, with `bad` set
// to the offset of the first bad byte.
bool scan_stretch(std::string_view bytes, std::size_t start, std::size_t end, const ResolvedPolicy& policy,
                  const ScanOptions& options, Cursor& cursor, std::vector<ScanFinding>& findings, std::size_t& bad) {
  const std::string_view stretch = bytes.substr(start, end - start);
  const std::size_t invalid = first_invalid_utf8(stretch);
  if (invalid != stretch.size()) {
    bad = start + invalid;
    return false;
  }
  // Most stretches of most files hold no code point that the pass decides
  // on, and so give no event: they need no copy for the pass to rewrite.
  const bool nothing_to_decide =
      for_each_decision(stretch.data(), stretch.data() + stretch.size(), [](const char*) { return false; });
  if (nothing_to_decide) return true;
  Outcome<Removal> removal = remove_characters(std::string(stretch), policy, SpanRecording::unlimited);
  if (const Error* error = std::get_if<Error>(&removal)) throw InternalFault(error->message);
  for (const SpanEvent& span : std::get<Removal>(removal).spans) {
    const std::uint64_t offset = start + span.start;
    if (!options.strict_newlines && ends_crlf(bytes, span, offset)) continue;
    std::size_t length = 0;
    const char32_t code_point = decode_utf8(bytes.data() + offset, length);
    const FindingKind kind = span.kind == "removed" ? FindingKind::removed : FindingKind::flagged;
    findings.push_back(locate(cursor, bytes, offset, code_point, reason_index(span.reason), kind));
  }
  return true;
}

// Offset of the first code point that the normalized text does not repeat.
// The normalizer is pulled one code point at a time beside the file, so this
// holds no copy of it.
std::uint64_t first_normalization_change(std::string_view bytes, NormalizationForm form) {
  normkit::ComposeStream stream(bytes, form);
  std::size_t offset = 0;
  char32_t normalized = 0;
  while (offset < bytes.size() && stream.next(normalized)) {
    const normkit::utf8::Decoded original = normkit::utf8::decode(bytes, offset);
    if (original.cp != normalized) return offset;
    offset += original.length;
  }
  // Only an ending that the form drops or extends differs past the last
  // matching code point; it is reported at the file's start.
  return offset < bytes.size() ? offset : 0;
}

}  // namespace

std::vector<ScanFinding> scan_file(std::string_view bytes, const ResolvedPolicy& policy, const ScanOptions& options) {
  std::vector<ScanFinding> findings;
  Cursor cursor;
  for (std::size_t start = 0; start < bytes.size();) {
    const std::size_t end = stretch_end(bytes, start);
    std::size_t bad = 0;
    if (!scan_stretch(bytes, start, end, policy, options, cursor, findings, bad)) {
      findings.clear();
      Cursor from_start;
      findings.push_back(locate(from_start, bytes, bad, static_cast<unsigned char>(bytes[bad]),
                                reason_index("not_utf8"), FindingKind::not_utf8));
      return findings;
    }
    start = end;
  }
  if (options.check_normalization && !normkit::is_normalized(bytes, policy.normalization)) {
    const std::uint64_t offset = first_normalization_change(bytes, policy.normalization);
    std::size_t length = 0;
    const char32_t code_point = bytes.empty() ? 0 : decode_utf8(bytes.data() + offset, length);
    Cursor from_start;
    findings.push_back(locate(from_start, bytes, offset, code_point, reason_index("not_normalized"),
                              FindingKind::not_normalized));
  }
  return findings;
}

}  // namespace orlenta
