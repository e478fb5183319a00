#include "pipeline/file_scan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "normkit/utf8.h"
#include "passes/removal_pass.h"
#include "pipeline/utf8_validation.h"

namespace orlenta {
namespace {

std::size_t reference_first_invalid(std::string_view bytes) {
  for (std::size_t offset = 0; offset < bytes.size();) {
    const normkit::utf8::Decoded decoded = normkit::utf8::decode(bytes, offset);
    if (!decoded.valid) return offset;
    offset += decoded.length;
  }
  return bytes.size();
}

ResolvedPolicy policy(std::string_view name) { return *get_policy(name); }

// Every sequence of one, two and three bytes, behind ASCII prefixes that
// put it at each position of the eight-byte step, against the plain decoder.
TEST(Utf8Validation, AgreesWithTheDecoderOnEveryShortSequence) {
  for (const std::size_t prefix : {0, 9}) {
    char buffer[16] = "aaaaaaaaaaaaaaa";
    for (std::size_t length = 1; length <= 3; ++length) {
      for (std::uint32_t value = 0; value < (std::uint32_t{1} << (8 * length)); ++value) {
        for (std::size_t i = 0; i < length; ++i) buffer[prefix + i] = static_cast<char>(value >> (8 * i));
        const std::string_view bytes(buffer, prefix + length);
        ASSERT_EQ(first_invalid_utf8(bytes), reference_first_invalid(bytes)) << value << " " << length;
      }
    }
  }
}

TEST(Utf8Validation, FindsFourByteFaultsAfterLongValidText) {
  const std::string valid = std::string(40, 'x') + "\xF0\x9F\x98\x80" + "\xF4\x8F\xBF\xBF";
  EXPECT_EQ(first_invalid_utf8(valid), valid.size());
  for (const std::string_view bad : {"\xF4\x90\x80\x80", "\xF0\x8F\xBF\xBF", "\xF0\x9F\x98", "\xF5\x80\x80\x80"}) {
    EXPECT_EQ(first_invalid_utf8(valid + std::string(bad) + "tail"), valid.size()) << bad;
  }
}

// A random text of ASCII lines and the code points the pass decides on,
// long enough to be scanned in several stretches.
std::string random_text(std::mt19937& random, std::size_t code_points) {
  const std::vector<char32_t> alphabet = {'a', ' ', '\n', '\t', '\r', 0x00E9, 0x0301, 0x4E00, 0x200B, 0x200D,
                                          0x202E, 0x2066, 0x200E, 0xFE0F, 0xFE0E, 0x2764, 0xE0041, 0x1F3F4,
                                          0xE0067, 0xE007F, 0x00AD, 0x2028, 0x0007, 0x1F600, 0xE0100};
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::string text;
  for (std::size_t i = 0; i < code_points; ++i) normkit::utf8::append(text, alphabet[pick(random)]);
  return text;
}

struct Position {
  std::uint64_t line;
  std::uint64_t column;
};

// Line and column of every byte offset, counted one byte at a time.
std::vector<Position> reference_positions(std::string_view text) {
  std::vector<Position> positions;
  Position at{1, 1};
  for (const char byte : text) {
    positions.push_back(at);
    if (byte == '\n') {
      at = Position{at.line + 1, 1};
    } else if ((static_cast<unsigned char>(byte) & 0xC0u) != 0x80u) {
      ++at.column;
    }
  }
  return positions;
}

// Prose that the pass decides nothing in, in several scripts.
std::string clean_text(std::size_t lines) {
  std::string text;
  for (std::size_t i = 0; i < lines; ++i) text += "caf\u00e9 \u4e00\u2019s \u0627\u0644 line\n";
  return text;
}

// The scan over stretches reports what the unlimited pass reports over the
// whole text, less the carriage returns of CR LF, at the right positions;
// also where whole stretches hold nothing to decide and are skipped.
TEST(FileScan, MatchesThePassOverTheWholeText) {
  std::mt19937 random(7);
  for (const std::string_view name : {"preserve", "balanced_chat", "strict_exec", "code_mode"}) {
    const std::string text = random_text(random, 150000) + clean_text(3000) + random_text(random, 3) +
                             clean_text(6000) + random_text(random, 20000);
    const Removal whole =
        std::get<Removal>(remove_characters(text, policy(name), SpanRecording::unlimited));
    std::vector<SpanEvent> expected;
    for (const SpanEvent& span : whole.spans) {
      if (span.reason == "carriage_return" && span.start + 1 < text.size() && text[span.start + 1] == '\n') continue;
      expected.push_back(span);
    }
    ASSERT_GT(expected.size(), max_span_events) << name;
    const std::vector<ScanFinding> findings = scan_file(text, policy(name), ScanOptions{});
    const std::vector<Position> positions = reference_positions(text);
    ASSERT_EQ(findings.size(), expected.size()) << name;
    for (std::size_t i = 0; i < findings.size(); ++i) {
      const ScanFinding& finding = findings[i];
      ASSERT_EQ(finding.byte_offset, expected[i].start) << name << " " << i;
      ASSERT_EQ(finding_reason_names[finding.reason], expected[i].reason);
      ASSERT_EQ(finding.kind == FindingKind::removed, expected[i].kind == "removed");
      ASSERT_EQ(finding.line, positions[finding.byte_offset].line);
      ASSERT_EQ(finding.column, positions[finding.byte_offset].column);
    }
  }
}

TEST(FileScan, CapsOnlyTheCappedRecording) {
  const std::string lone_returns(max_span_events + 1, '\r');
  EXPECT_TRUE(std::holds_alternative<Error>(remove_characters(lone_returns, policy("code_mode"), SpanRecording::capped)));
  EXPECT_EQ(scan_file(lone_returns, policy("code_mode"), ScanOptions{}).size(), max_span_events + 1);
}

TEST(FileScan, ReportsCrLfOnlyWhenStrict) {
  const std::string text = "a\r\nb\rc\r";
  EXPECT_EQ(scan_file(text, policy("code_mode"), ScanOptions{}).size(), 2u);
  EXPECT_EQ(scan_file(text, policy("code_mode"), ScanOptions{.strict_newlines = true}).size(), 3u);
}

TEST(FileScan, BadBytesGiveOneFindingWhereverTheyAre) {
  std::string text = std::string(100000, 'a') + "\n\xE2\x80\xAE\n\xC3\xA9x\xFFy\xE2\x80\xAE";
  const std::vector<ScanFinding> findings = scan_file(text, policy("code_mode"), ScanOptions{});
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].kind, FindingKind::not_utf8);
  EXPECT_EQ(findings[0].byte_offset, 100000u + 1 + 3 + 1 + 3);
  EXPECT_EQ(findings[0].code_point, 0xFFu);
  EXPECT_EQ(findings[0].line, 3u);
  EXPECT_EQ(findings[0].column, 3u);
}

TEST(FileScan, LocatesTheFirstNormalizationChangeOnRequest) {
  const std::string text = "ok\ncafe\xCC\x81\xE2\x80\x8B";
  const ScanOptions options{.check_normalization = true};
  const std::vector<ScanFinding> findings = scan_file(text, policy("code_mode"), options);
  ASSERT_EQ(findings.size(), 2u);
  EXPECT_EQ(findings[0].byte_offset, 9u);  // the zero-width space, at its offset on disk
  EXPECT_EQ(findings[1].kind, FindingKind::not_normalized);
  EXPECT_EQ(findings[1].byte_offset, 6u);
  EXPECT_EQ(findings[1].column, 4u);
  EXPECT_TRUE(scan_file("caf\xC3\xA9", policy("code_mode"), options).empty());
  EXPECT_EQ(scan_file("\xEF\xAC\x81", policy("strict_exec"), options).size(), 1u);
}

}  // namespace
}  // namespace orlenta
