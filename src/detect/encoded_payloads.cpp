#include "encoded_payloads.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "digest_label.h"
#include "normkit/utf8.h"
#include "payload_alphabet.h"

namespace orlenta::detect {
namespace {

constexpr std::size_t min_decoded_bytes = 24;
// The shortest run that can hold a payload: base64 of 24 bytes. Any run of
// 2 * 16 - 1 bytes or more covers a whole block of sixteen that starts at a
// multiple of sixteen, so a scan that only stops at blocks made entirely of
// payload bytes misses none.
constexpr std::size_t min_run_bytes = 32;
static_assert(min_run_bytes >= 2 * block_size - 1);
// Percent-encoding spends three characters on a byte: a run of escapes
// decoding to the minimum.
constexpr std::size_t min_percent_escapes = min_decoded_bytes;
// MIME wraps base64 at 76 characters, PEM at 64; a few tools at 60.
constexpr std::size_t min_wrapped_width = 60;
constexpr std::size_t max_wrapped_width = 76;

enum class Encoding { base64, base64url, hex, percent };

std::string_view encoding_name(Encoding encoding) {
  switch (encoding) {
    case Encoding::base64: return "base64";
    case Encoding::base64url: return "base64url";
    case Encoding::hex: return "hex";
    case Encoding::percent: return "percent";
  }
  return "base64";
}

// Value of a character in either base64 alphabet, or -1.
constexpr std::array<std::int8_t, 256> base64_values = [] {
  std::array<std::int8_t, 256> table{};
  table.fill(-1);
  for (int i = 0; i < 26; ++i) {
    table[static_cast<std::size_t>('A' + i)] = static_cast<std::int8_t>(i);
    table[static_cast<std::size_t>('a' + i)] = static_cast<std::int8_t>(26 + i);
  }
  for (int i = 0; i < 10; ++i) table[static_cast<std::size_t>('0' + i)] = static_cast<std::int8_t>(52 + i);
  table['+'] = table['-'] = 62;
  table['/'] = table['_'] = 63;
  return table;
}();

int base64_value(char c) { return base64_values[static_cast<unsigned char>(c)]; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
bool is_lower(char c) { return c >= 'a' && c <= 'z'; }

int hex_value(char c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Digest sizes: MD5, SHA-1, SHA-224, SHA-256, SHA-384, SHA-512.
bool is_digest_size(std::size_t bytes) {
  return bytes == 16 || bytes == 20 || bytes == 28 || bytes == 32 || bytes == 48 || bytes == 64;
}

// Well-formed UTF-8 without controls other than tab, line feed and
// carriage return: what a payload meant to be read says, and what a
// digest's bytes almost never are.
bool is_text(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = p + bytes.size();
  while (p < end) {
    char32_t cp = 0;
    const unsigned length = normkit::utf8::decode_valid(p, end, cp);
    if (length == 0) return false;
    if ((cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r') || (cp >= 0x7F && cp < 0xA0)) return false;
    p += length;
  }
  return true;
}

// Encoders spread their output over digits and both letter cases and change
// class every other character; words, identifiers in any case convention
// and rulers keep to one or two classes in long stretches. Only letters and
// digits count: the hyphens of a language tag or a punycode label
// (en-GB-t-m0-iso-i0-pinyin-u-ca-buddhist) would pass for changes.
bool has_encoder_mix(std::string_view body) {
  bool digit = false;
  bool upper = false;
  bool lower = false;
  std::size_t steps = 0;
  std::size_t changes = 0;
  int previous = -1;
  for (const char c : body) {
    const int kind = is_digit(c) ? 0 : is_upper(c) ? 1 : is_lower(c) ? 2 : -1;
    if (kind < 0) continue;
    digit |= kind == 0;
    upper |= kind == 1;
    lower |= kind == 2;
    if (previous >= 0) {
      ++steps;
      changes += kind != previous;
    }
    previous = kind;
  }
  // Random base64 changes class at 62% of its steps, base64 of prose about
  // as often; CamelCase names with digits stay near a third. At 41% a
  // random payload of 32 bytes fails one time in 200, of 64 one in 8,000.
  return digit && upper && lower && 100 * changes >= 41 * steps;
}

std::string decode_base64(std::string_view body) {
  std::string bytes;
  bytes.reserve(body.size() * 3 / 4);
  std::uint32_t bits = 0;
  int count = 0;
  for (const char c : body) {
    bits = (bits << 6) | static_cast<std::uint32_t>(base64_value(c));
    count += 6;
    if (count >= 8) {
      count -= 8;
      bytes.push_back(static_cast<char>((bits >> count) & 0xFFu));
    }
  }
  return bytes;
}

std::string decode_hex(std::string_view body) {
  std::string bytes(body.size() / 2, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<char>(hex_value(body[2 * i]) * 16 + hex_value(body[2 * i + 1]));
  }
  return bytes;
}

struct Payload {
  Encoding encoding;
  std::size_t decoded_bytes;
};

// A digest is a run of a digest's size, written where digests are written
// (after a label or key that names one, or opening a checksum line), whose
// bytes are not text. Lock files and integrity attributes are full of them,
// and they carry nothing. The same bytes anywhere else are a payload: the
// size alone cannot tell 32 random bytes from a SHA-256.
bool is_digest(std::string_view text, std::size_t start, std::size_t end, std::string_view body, Payload payload) {
  if (!is_digest_size(payload.decoded_bytes) || !is_written_as_digest(text, start, end)) return false;
  return !is_text(payload.encoding == Encoding::hex ? decode_hex(body) : decode_base64(body));
}

void record(std::vector<Finding>& found, std::size_t start, std::size_t end, Payload payload, bool wrapped) {
  add_finding(found, {FindingKind::encoded_payload,
                   start,
                   end,
                   {{"encoding", std::string(encoding_name(payload.encoding))},
                    {"decoded_bytes", static_cast<std::int64_t>(payload.decoded_bytes)},
                    {"wrapped", std::int64_t{wrapped ? 1 : 0}}}});
}

// Hex: an even number of digits, both digits and letters, letters of one
// case (the digests and dumps that mix cases do not exist).
std::optional<Payload> judge_hex(std::string_view body) {
  if (body.size() % 2 != 0 || body.size() < 2 * min_decoded_bytes) return std::nullopt;
  const bool digits = std::any_of(body.begin(), body.end(), is_digit);
  const bool upper = std::any_of(body.begin(), body.end(), is_upper);
  const bool lower = std::any_of(body.begin(), body.end(), is_lower);
  if (!digits || upper == lower) return std::nullopt;
  return Payload{Encoding::hex, body.size() / 2};
}

// Base64 in either alphabet: its characters, then up to two padding
// characters that complete a group of four; the bits past the last byte are
// zero, as every encoder leaves them.
std::optional<Payload> judge_base64(std::string_view body, std::size_t padding) {
  const bool standard = body.find_first_of("+/") != std::string_view::npos;
  const bool url = body.find_first_of("-_") != std::string_view::npos;
  if (standard && url) return std::nullopt;
  const std::size_t tail = body.size() % 4;
  if (tail == 1 || padding > 2 || (padding != 0 && (tail + padding) % 4 != 0)) return std::nullopt;
  const int last = base64_value(body.back());
  if ((tail == 2 && (last & 0xF) != 0) || (tail == 3 && (last & 0x3) != 0)) return std::nullopt;
  const std::size_t size = body.size() / 4 * 3 + (tail == 0 ? 0 : tail - 1);
  if (size < min_decoded_bytes || !has_encoder_mix(body)) return std::nullopt;
  return Payload{url ? Encoding::base64url : Encoding::base64, size};
}

std::optional<Payload> judge_piece(std::string_view body, std::size_t padding) {
  if (body.size() < min_run_bytes) return std::nullopt;
  if (std::all_of(body.begin(), body.end(), [](char c) { return hex_value(c) >= 0; })) {
    return padding == 0 ? judge_hex(body) : std::nullopt;
  }
  if (!std::all_of(body.begin(), body.end(), [](char c) { return base64_value(c) >= 0; })) return std::nullopt;
  return judge_base64(body, padding);
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The line of [start, end) when the run fills it but for indentation: the
// indentation, and the end of the line break after it (or the text's end).
struct WholeLine {
  std::string_view indentation;
  std::size_t next_line;
};

std::optional<WholeLine> whole_line(std::string_view text, std::size_t start, std::size_t end) {
  std::size_t line = start;
  while (line > 0 && is_blank(text[line - 1])) --line;
  if (line > 0 && text[line - 1] != '\n') return std::nullopt;
  std::size_t after = end;
  if (after < text.size() && text[after] == '\r') ++after;
  if (after < text.size() && text[after] != '\n') return std::nullopt;
  return WholeLine{text.substr(line, start - line), std::min(after + 1, text.size())};
}

// Length of the base64 line (characters and padding) at `p`, which ends
// at a line break or the text's end.
std::size_t base64_line_length(std::string_view text, std::size_t p) {
  std::size_t q = p;
  while (q < text.size() && (base64_value(text[q]) >= 0 || text[q] == '=')) ++q;
  std::size_t after = q;
  if (after < text.size() && text[after] == '\r') ++after;
  if (after < text.size() && text[after] != '\n') return 0;
  return q - p;
}

// A block of base64 lines of one width from 60 to 76, the last one shorter
// or padded, that starts with the line [start, end): one finding for the
// whole block. Returns where the block ends, or 0 when there is no block of
// two lines or more.
std::size_t find_wrapped_block(std::string_view text, std::size_t start, std::size_t end,
                               std::vector<Finding>& found) {
  const std::size_t width = end - start;
  if (width < min_wrapped_width || width > max_wrapped_width || width % 4 != 0) return 0;
  const std::optional<WholeLine> first = whole_line(text, start, end);
  if (!first) return 0;
  std::string body(text.substr(start, width));
  std::size_t block_end = end;
  std::size_t line = first->next_line;
  std::size_t padding = 0;
  bool closed = false;
  while (!closed && line < text.size() && text.substr(line).starts_with(first->indentation)) {
    const std::size_t p = line + first->indentation.size();
    const std::size_t length = base64_line_length(text, p);
    if (length == 0 || length > width) break;
    const std::string_view content = text.substr(p, length);
    const std::size_t body_length = std::min(content.find('='), content.size());
    if (content.find_first_not_of('=', body_length) != std::string_view::npos) break;
    body.append(content.substr(0, body_length));
    padding = length - body_length;
    closed = length < width || padding != 0;
    block_end = p + length;
    line = whole_line(text, p, block_end)->next_line;
  }
  if (block_end == end) return 0;
  const std::optional<Payload> payload = judge_base64(body, padding);
  if (!payload || is_digest(text, start, block_end, body, *payload)) return 0;
  record(found, start, block_end, *payload, true);
  return block_end;
}

// Escapes %XX, with the unreserved characters that may stand between them.
// A stretch of enough escapes is a payload when it escapes what needs no
// escaping (letters and digits: a quarter of the escapes or more) or
// decodes to bytes that are not text. A link to a page titled in Cyrillic
// or Chinese escapes every byte of its UTF-8 and is no payload.
void find_percent_payloads(std::string_view text, std::size_t start, std::size_t end, std::vector<Finding>& found) {
  std::size_t first = 0;
  std::size_t last_end = 0;
  std::size_t literals = 0;  // those before the last escape so far
  std::size_t pending = 0;   // those after it
  std::size_t needless = 0;
  std::string decoded;
  const auto close = [&] {
    const std::size_t escapes = decoded.size();
    if (escapes >= min_percent_escapes && (4 * needless >= escapes || !is_text(decoded))) {
      record(found, first, last_end, {Encoding::percent, escapes + literals}, false);
    }
    decoded.clear();
    literals = 0;
    pending = 0;
    needless = 0;
  };
  for (std::size_t i = start; i < end;) {
    if (text[i] == '%' && i + 2 < end && hex_value(text[i + 1]) >= 0 && hex_value(text[i + 2]) >= 0) {
      if (decoded.empty()) first = i;
      const char byte = static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2]));
      decoded.push_back(byte);
      needless += is_digit(byte) || is_upper(byte) || is_lower(byte);
      i += 3;
      last_end = i;
      literals += pending;
      pending = 0;
    } else {
      if (text[i] == '%') {
        close();
      } else if (!decoded.empty()) {
        ++pending;
      }
      ++i;
    }
  }
  close();
}

// Judges the run [start, end) of payload bytes; returns where the scan goes
// on (past a wrapped block that continues on the lines after the run).
std::size_t judge_run(std::string_view text, std::size_t start, std::size_t end, std::vector<Finding>& found) {
  const std::string_view run = text.substr(start, end - start);
  if (run.find('%') != std::string_view::npos) {
    find_percent_payloads(text, start, end, found);
    return end;
  }
  // Padding ends a piece; a run may hold several (key=value, or base64
  // strings one after the other).
  for (std::size_t piece = 0; piece < run.size();) {
    std::size_t body_end = run.find('=', piece);
    if (body_end == std::string_view::npos) body_end = run.size();
    std::size_t piece_end = body_end;
    while (piece_end < run.size() && run[piece_end] == '=') ++piece_end;
    std::string_view body = run.substr(piece, body_end - piece);
    if (!body.empty()) {
      const std::size_t padding = piece_end - body_end;
      if (piece == 0 && padding == 0 && piece_end == run.size()) {
        if (const std::size_t block_end = find_wrapped_block(text, start, end, found)) return block_end;
      }
      // `sha512-<base64>`: the label is no part of the payload, and its
      // hyphen would pass for base64url beside the + and / of the digest.
      const std::size_t label = digest_prefix_length(body);
      body.remove_prefix(label);
      const std::size_t body_start = start + piece + label;
      const std::optional<Payload> payload = judge_piece(body, padding);
      if (payload && !is_digest(text, body_start, start + piece_end, body, *payload)) {
        record(found, body_start, start + piece_end, *payload, false);
      }
    }
    piece = piece_end;
  }
  return end;
}

}  // namespace

void find_encoded_payloads(std::string_view text, std::vector<Finding>& found) {
  std::size_t block = 0;
  while (block + block_size <= text.size()) {
    if (payload_lanes(text.data() + block) != 0xFFFF) {
      block += block_size;
      continue;
    }
    std::size_t start = block;
    while (start > 0 && is_payload_byte(text[start - 1])) --start;
    std::size_t end = block + block_size;
    while (end < text.size() && is_payload_byte(text[end])) ++end;
    const std::size_t resume = end - start >= min_run_bytes ? judge_run(text, start, end, found) : end;
    block = (resume + block_size - 1) / block_size * block_size;
  }
}

}  // namespace orlenta::detect
