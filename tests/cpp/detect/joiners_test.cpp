// The joiner and zero-width run detectors: which contexts give a joiner a
// job, how runs are reported, and every emoji ZWJ sequence of the data.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../classes/ucd_data.h"
#include "detect/joiners_out_of_context.h"
#include "detect/zero_width_runs.h"
#include "normkit/utf8.h"

namespace orlenta::detect {
namespace {

std::vector<Finding> joiner_findings(const std::string& text) {
  std::vector<Finding> found;
  find_joiners_out_of_context(text, found);
  return found;
}

struct ContextCase {
  const char* what;
  const char* text;
  bool has_a_job;
};

// Each text holds one joiner; the contexts Unicode gives a job, then near
// misses of each that do not.
constexpr ContextCase context_cases[] = {
    {"Devanagari half form: KA VIRAMA ZWJ SSA", "क्\u200Dष", true},
    {"Devanagari explicit virama: KA VIRAMA ZWNJ SSA", "क्\u200Cष", true},
    {"Malayalam chillu at the end of a word: NA VIRAMA ZWJ", "അവന്\u200D ", true},
    {"Devanagari: KA NUKTA VIRAMA ZWJ", "क़्\u200Dष", true},
    {"Devanagari: a Vedic accent after the virama", "क्\u0951\u200Cष", true},
    {"Sinhala yansaya: KA AL-LAKUNA ZWJ YA", "ක්\u200Dය", true},
    {"Sinhala touching letters: KA ZWJ AL-LAKUNA VA", "ක\u200D්ව", true},
    {"Bengali ra-phala: RA ZWJ VIRAMA YA", "র\u200D্য", true},
    {"Myanmar invisible stacker", "က္\u200Cက", true},
    {"Bengali vowel sign I, ZWNJ, independent vowel I", "কৃতি\u200Cই", true},
    {"Persian ZWNJ between dual-joining letters", "می\u200Cخواهم", true},
    {"Persian ZWNJ after a right-joining letter, before a suffix", "مقصد\u200Cها", true},
    {"Arabic ZWNJ with a transparent mark on either side", "بَ\u200Cٍب", true},
    {"Arabic ZWJ showing the initial form of a letter", "ب\u200D ", true},
    {"Arabic ZWJ showing the final form of a letter", " \u200Dب", true},
    {"family emoji", "\U0001F468\u200D\U0001F469", true},
    {"emoji with a skin tone", "\U0001F469\U0001F3FD\u200D\U0001F4BB", true},
    {"emoji with its presentation selector", "\U0001F3F3\uFE0F\u200D\U0001F308", true},
    {"tag sequence", "\U0001F3F4\U000E0067\U000E0062\U000E0073\U000E0063\U000E0074\U000E007F\u200D\U0001F525", true},

    {"ZWNJ inside a Latin word", "pay\u200Cpal", false},
    {"ZWJ inside an identifier", "is_\u200Dadmin", false},
    {"ZWNJ between digits", "1\u200C2", false},
    {"ZWJ at the start of the text", "\u200Dx", false},
    {"ZWNJ at the end of the text", "x\u200C", false},
    {"ZWNJ alone", "\u200C", false},
    {"ZWNJ after a Latin letter and an accent", "e\u0301\u200Cx", false},
    {"virama after a Latin letter", "a्\u200Cb", false},
    {"virama of another script than its letter", "a\u0D4D\u200Db", false},
    {"ZWNJ between a Devanagari and a Bengali letter", "क\u200Cক", false},
    {"ZWJ between CJK ideographs", "中\u200D文", false},
    {"ZWNJ between Hiragana", "ひ\u200Cら", false},
    {"ZWNJ between an Arabic and a Latin letter", "ب\u200Ca", false},
    {"ZWNJ between an Arabic letter and a space", "ب\u200C ", false},
    {"ZWNJ between emoji", "\U0001F468\u200C\U0001F469", false},
    {"ZWJ after an emoji, before a letter", "\U0001F468\u200Da", false},
    {"ZWJ before an emoji, after a letter", "a\u200D\U0001F469", false},
    {"ZWJ after a skin tone alone", "\U0001F3FD\u200D\U0001F469", false},
};

TEST(JoinersOutOfContext, JudgeEachContext) {
  for (const ContextCase& c : context_cases) {
    const std::string text = c.text;
    const auto found = joiner_findings(text);
    if (c.has_a_job) {
      EXPECT_TRUE(found.empty()) << c.what;
      continue;
    }
    ASSERT_EQ(found.size(), 1u) << c.what;
    const std::size_t at = text.find("\u200C") != std::string::npos ? text.find("\u200C") : text.find("\u200D");
    EXPECT_EQ(found[0].kind, FindingKind::joiner_out_of_context);
    EXPECT_EQ(found[0].start, at) << c.what;
    EXPECT_EQ(found[0].end, at + 3) << c.what;
    const std::string code_point = text.compare(at, 3, "\u200C") == 0 ? "U+200C" : "U+200D";
    EXPECT_EQ(found[0].evidence[0].key, "code_point");
    EXPECT_EQ(std::get<std::string>(found[0].evidence[0].value), code_point) << c.what;
  }
}

// The walk from a joiner to the virama over the marks between them is
// bounded: a stack longer than any orthography puts there ends it.
TEST(JoinersOutOfContext, WalkOverMarksIsBounded) {
  const auto after_marks = [](int count) {
    std::string text = "क्";
    for (int i = 0; i < count; ++i) text += "\u0301";
    return joiner_findings(text + "\u200Cष").size();
  };
  EXPECT_EQ(after_marks(3), 0u);
  EXPECT_EQ(after_marks(100), 1u);
}

struct RunCase {
  const char* text;
  std::size_t start, end;
  std::int64_t length;
  const char* alphabet;
};

// Runs of two or more, whatever stands around them; joiners inside a run
// are reported once, as the run; single zero-width code points other than
// joiners are no finding of either kind.
TEST(ZeroWidthRuns, ReportEachRunOnce) {
  const RunCase runs[] = {
      {"a\u200C\u200Db", 1, 7, 2, "U+200C U+200D"},
      {"\u200B\u200B\u200B", 0, 9, 3, "U+200B"},
      {"x\uFEFF\u2060\u2062\u2064\u200By", 1, 16, 5, "U+200B U+2060 U+2062 U+2064 U+FEFF"},
      {"क्\u200D\u200Cष", 6, 12, 2, "U+200C U+200D"},
      {"\U0001F468\u200D\u200D\U0001F469", 4, 10, 2, "U+200D"},
  };
  for (const RunCase& run : runs) {
    std::vector<Finding> found;
    find_zero_width_runs(run.text, found);
    ASSERT_EQ(found.size(), 1u) << run.text;
    EXPECT_EQ(found[0].kind, FindingKind::zero_width_run);
    EXPECT_EQ(found[0].start, run.start) << run.text;
    EXPECT_EQ(found[0].end, run.end) << run.text;
    EXPECT_EQ(std::get<std::int64_t>(found[0].evidence[0].value), run.length) << run.text;
    EXPECT_EQ(std::get<std::string>(found[0].evidence[1].value), run.alphabet) << run.text;
    EXPECT_TRUE(joiner_findings(run.text).empty()) << run.text;
  }
  for (const char* single : {"a\u200Bb", "\uFEFFtext", "a\u2060b\u2062c\u2064", "a\u200Cb \u200Dc"}) {
    std::vector<Finding> found;
    find_zero_width_runs(single, found);
    EXPECT_TRUE(found.empty()) << single;
  }
  std::vector<Finding> two;
  find_zero_width_runs("\u200B\u200Bx\u200C\u200C", two);
  EXPECT_EQ(two.size(), 2u);
}

using EmojiZwjSequences = test::UcdTest;

// Every recommended emoji ZWJ sequence, alone, between words and twice in a
// row, gets no finding.
TEST_F(EmojiZwjSequences, EveryListedSequenceHasNoFinding) {
  std::size_t sequences = 0;
  for (const auto& fields : test::read_data_lines(test::ucd_dir() / "emoji/emoji-zwj-sequences.txt")) {
    std::string sequence;
    for (std::size_t i = 0; i < fields[0].size();) {
      const std::size_t space = fields[0].find(' ', i);
      normkit::utf8::append(sequence, static_cast<char32_t>(std::stoul(fields[0].substr(i, space - i), nullptr, 16)));
      i = space == std::string::npos ? fields[0].size() : space + 1;
    }
    for (const std::string& text : {sequence, "a " + sequence + " b", sequence + sequence}) {
      EXPECT_TRUE(joiner_findings(text).empty()) << fields[0];
      std::vector<Finding> runs;
      find_zero_width_runs(text, runs);
      EXPECT_TRUE(runs.empty()) << fields[0];
    }
    ++sequences;
  }
  EXPECT_GT(sequences, 1500u);
}

}  // namespace
}  // namespace orlenta::detect
