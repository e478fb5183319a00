#include "digest_label.h"

#include <algorithm>
#include <array>
#include <string>

namespace orlenta::detect {
namespace {

// Bounds on the look back from a run, so that the check reads a few dozen
// bytes whatever the text: `" = "` or `": "` between a key and its value,
// a key name, a file name in parentheses.
constexpr std::size_t max_separator_bytes = 8;
constexpr std::size_t max_name_bytes = 64;
constexpr std::size_t max_file_name_bytes = 256;

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_alphanumeric(char c) { return is_letter(c) || (c >= '0' && c <= '9'); }
bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Between a label or key and its value: the separators of `sha256:`,
// `sha512-`, `--hash=`, `key = "`, `"key": '`, `<Digest>` and `'sha' => '`.
bool is_separator(char c) { return is_blank(c) || c == ':' || c == '=' || c == '-' || c == '"' || c == '\'' || c == '>'; }

bool is_name_byte(char c) { return is_alphanumeric(c) || c == '_' || c == '-' || c == '.'; }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Moves `p` back over a few separators; returns how many.
std::size_t skip_separators_back(std::string_view text, std::size_t& p) {
  std::size_t skipped = 0;
  while (p > 0 && skipped < max_separator_bytes && is_separator(text[p - 1])) {
    --p;
    ++skipped;
  }
  return skipped;
}

bool labelled_before(std::string_view text, std::size_t start) {
  std::size_t p = start;
  if (skip_separators_back(text, p) == 0) return false;
  // BSD and `--tag` checksum lines name the file between the algorithm and
  // the digest: `SHA256 (orlenta.tar.gz) = <digest>`.
  if (p > 0 && text[p - 1] == ')') {
    const std::size_t floor = p > max_file_name_bytes ? p - max_file_name_bytes : 0;
    std::size_t open = p - 1;
    while (open > floor && text[open - 1] != '(' && text[open - 1] != '\n') --open;
    if (open == floor || text[open - 1] != '(') return false;
    p = open - 1;
    skip_separators_back(text, p);
  }
  const std::size_t name_end = p;
  while (p > 0 && name_end - p < max_name_bytes && is_name_byte(text[p - 1])) --p;
  return names_a_digest(text.substr(p, name_end - p));
}

// sha256sum, md5sum and the like: the digest opens the line, then two
// spaces (text mode) or a space and an asterisk (binary mode), then the
// file name.
bool opens_checksum_line(std::string_view text, std::size_t start, std::size_t end) {
  std::size_t line = start;
  while (line > 0 && is_blank(text[line - 1])) --line;
  if (line > 0 && text[line - 1] != '\n') return false;
  return end + 2 < text.size() && text[end] == ' ' && (text[end + 1] == ' ' || text[end + 1] == '*') &&
         !is_blank(text[end + 2]) && text[end + 2] != '\n' && text[end + 2] != '\r';
}

}  // namespace

bool names_a_digest(std::string_view name) {
  std::string lowered(name.size(), '\0');
  std::transform(name.begin(), name.end(), lowered.begin(), lower);
  if (lowered == "h1") return true;  // go.sum: SHA-256 of a module's files
  for (const std::string_view word : {"hash", "digest", "checksum", "integrity", "etag", "commit", "md5", "blake"}) {
    if (lowered.find(word) != std::string::npos) return true;
  }
  // sha1, sha256, SHA_SUM, gitSha; not shadow, shape or shared.
  for (std::size_t at = lowered.find("sha"); at != std::string::npos; at = lowered.find("sha", at + 1)) {
    if (at + 3 == lowered.size() || !is_letter(lowered[at + 3])) return true;
  }
  return false;
}

bool is_written_as_digest(std::string_view text, std::size_t start, std::size_t end) {
  return labelled_before(text, start) || opens_checksum_line(text, start, end);
}

std::size_t digest_prefix_length(std::string_view piece) {
  constexpr std::size_t max_label_bytes = 16;
  const std::size_t hyphen = piece.substr(0, max_label_bytes + 1).find('-');
  if (hyphen == 0 || hyphen > max_label_bytes || hyphen == std::string_view::npos) return 0;
  const std::string_view label = piece.substr(0, hyphen);
  if (!std::all_of(label.begin(), label.end(), is_alphanumeric)) return 0;
  return names_a_digest(label) ? hyphen + 1 : 0;
}

}  // namespace orlenta::detect
