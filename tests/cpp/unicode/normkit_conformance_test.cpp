// Conformance of normkit against the Unicode 17.0.0 data files.

#include <array>
#include <set>
#include <sstream>

#include "normkit/utf8.h"
#include "normkit_test_util.h"

namespace normkit_test {
namespace {

using normkit::is_normalized;
using normkit::normalize;
using normkit::quick_check;
using normkit::QuickCheck;

struct TestLine {
  int line_number;
  int part;
  std::array<std::string, 5> columns;  // source; NFC; NFD; NFKC; NFKD as UTF-8
};

std::vector<TestLine> read_normalization_test(const std::string& path, std::set<char32_t>& part1) {
  std::vector<TestLine> lines;
  std::ifstream in(path);
  std::string line;
  int number = 0, part = -1;
  while (std::getline(in, line)) {
    ++number;
    if (line.rfind("@Part", 0) == 0) {
      part = line[5] - '0';
      continue;
    }
    line = line.substr(0, line.find('#'));
    if (line.empty()) continue;
    TestLine t{number, part, {}};
    std::istringstream fields(line);
    std::string field;
    for (int c = 0; c < 5 && std::getline(fields, field, ';'); ++c) {
      std::istringstream hex(field);
      CodePoints cps;
      unsigned long cp;
      while (hex >> std::hex >> cp) cps.push_back(static_cast<char32_t>(cp));
      if (c == 0 && part == 1) part1.insert(cps.at(0));
      t.columns[c] = utf8_of(cps);
    }
    lines.push_back(std::move(t));
  }
  return lines;
}

std::u32string code_points_of(std::string_view text) {
  std::u32string cps;
  for (std::size_t i = 0; i < text.size();) {
    const normkit::utf8::Decoded decoded = normkit::utf8::decode(text, i);
    cps.push_back(decoded.cp);
    i += decoded.length;
  }
  return cps;
}

std::u32string nfd(const std::string& text) {
  std::u32string out;
  normkit::decompose_canonical(code_points_of(text), out);
  return out;
}

// quick_check and is_normalized agree with normalization itself.
void expect_checks_agree(const std::string& text, Form form, int line) {
  const bool normalized = normalize(text, form) == text;
  EXPECT_EQ(is_normalized(text, form), normalized) << "line " << line;
  const QuickCheck qc = quick_check(text, form);
  if (qc != QuickCheck::maybe) {
    EXPECT_EQ(qc == QuickCheck::yes, normalized) << "line " << line;
  }
}

// The column between text that composes and reorders with nothing, so that
// the scans meet it in every lane of their blocks (by the line number) and
// its normal form is the padding around the column's.
std::string padded(const std::string& column, int line) {
  return std::string(static_cast<std::size_t>(line % 16), '#') + column + "\U0001F600\u4EBA \u0416\u2764 #####";
}

TEST(NormkitConformance, EveryNormalizationTestLine) {
  NORMKIT_REQUIRE_SHARED(path, "ucd/17.0.0/NormalizationTest.txt");
  std::set<char32_t> part1;
  const auto lines = read_normalization_test(path, part1);
  ASSERT_GT(lines.size(), 19000u);
  for (const TestLine& t : lines) {
    const auto& c = t.columns;
    for (int i = 0; i < 5; ++i) {
      for (Form form : {Form::nfc, Form::nfkc}) {
        const std::string text = padded(c[i], t.line_number);
        const std::string expected = padded(c[form == Form::nfc ? (i < 3 ? 1 : 3) : 3], t.line_number);
        EXPECT_EQ(normalize(text, form), expected) << "line " << t.line_number;
        EXPECT_EQ(via_chunks(text, form, 5), expected) << "line " << t.line_number;
        expect_checks_agree(text, form, t.line_number);
      }
    }
    const auto nfc = [](const std::string& s) { return normalize(s, Form::nfc); };
    const auto nfkc = [](const std::string& s) { return normalize(s, Form::nfkc); };
    EXPECT_EQ(nfc(c[0]), c[1]) << "line " << t.line_number;
    EXPECT_EQ(nfc(c[1]), c[1]) << "line " << t.line_number;
    EXPECT_EQ(nfc(c[2]), c[1]) << "line " << t.line_number;
    EXPECT_EQ(nfc(c[3]), c[3]) << "line " << t.line_number;
    EXPECT_EQ(nfc(c[4]), c[3]) << "line " << t.line_number;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(nfd(c[i]), code_points_of(c[2])) << "line " << t.line_number;
    for (int i = 3; i < 5; ++i) EXPECT_EQ(nfd(c[i]), code_points_of(c[4])) << "line " << t.line_number;
    for (const std::string& column : c) {
      EXPECT_EQ(nfkc(column), c[3]) << "line " << t.line_number;
      for (Form form : {Form::nfc, Form::nfkc}) {
        expect_checks_agree(column, form, t.line_number);
        const std::string expected = normalize(column, form);
        EXPECT_EQ(via_next(column, form), expected) << "line " << t.line_number;
        EXPECT_EQ(via_chunks(column, form, 1), expected) << "line " << t.line_number;
        EXPECT_EQ(via_chunks(column, form, 2), expected) << "line " << t.line_number;
      }
    }
    if (HasFailure()) break;  // one line's failures are enough to read
  }
}

TEST(NormkitConformance, CodePointsOutsidePart1AreTheirOwnForms) {
  NORMKIT_REQUIRE_SHARED(path, "ucd/17.0.0/NormalizationTest.txt");
  std::set<char32_t> part1;
  read_normalization_test(path, part1);
  ASSERT_GT(part1.size(), 10000u);
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if ((cp >= 0xD800 && cp <= 0xDFFF) || part1.count(cp)) continue;
    const std::string x = utf8_of({cp});
    ASSERT_EQ(normalize(x, Form::nfc), x) << hex(cp);
    ASSERT_EQ(normalize(x, Form::nfkc), x) << hex(cp);
    ASSERT_EQ(nfd(x), std::u32string(1, cp)) << hex(cp);
    ASSERT_NE(quick_check(x, Form::nfc), QuickCheck::no) << hex(cp);
  }
}

TEST(NormkitConformance, MarksAndClassesMatchUnicodeData) {
  NORMKIT_REQUIRE_SHARED(path, "ucd/17.0.0/UnicodeData.txt");
  std::vector<std::uint8_t> ccc(0x110000, 0);
  std::vector<bool> mark(0x110000, false);
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {  // no mark and no nonzero class lies in a range entry
    std::istringstream fields(line);
    std::string cp, name, gc, cc;
    std::getline(fields, cp, ';');
    std::getline(fields, name, ';');
    std::getline(fields, gc, ';');
    std::getline(fields, cc, ';');
    const auto c = std::stoul(cp, nullptr, 16);
    ccc[c] = static_cast<std::uint8_t>(std::stoi(cc));
    mark[c] = gc == "Mn" || gc == "Mc" || gc == "Me";
  }
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    ASSERT_EQ(normkit::is_mark(cp), mark[cp]) << hex(cp);
    ASSERT_EQ(normkit::combining_class(cp), ccc[cp]) << hex(cp);
  }
}

}  // namespace
}  // namespace normkit_test
