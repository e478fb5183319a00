// normkit behaviour that needs no data files: known cases, random texts,
// bounded worst cases, ill-formed UTF-8 and the mark class.

#include <algorithm>
#include <memory>
#include <random>

#include "normkit_test_util.h"

namespace normkit_test {
namespace {

using normkit::ComposeStream;
using normkit::is_normalized;
using normkit::normalize;
using normkit::quick_check;
using normkit::QuickCheck;

std::string nfc(const CodePoints& cps) { return normalize(utf8_of(cps), Form::nfc); }
std::string nfkc(const CodePoints& cps) { return normalize(utf8_of(cps), Form::nfkc); }

TEST(NormkitCases, KnownMappings) {
  EXPECT_EQ(nfkc({0xFB01}), "fi");
  EXPECT_EQ(nfkc({0xFF21}), "A");
  EXPECT_EQ(nfkc({0x00B2}), "2");
  EXPECT_EQ(nfkc({0x2474}), "(1)");
  EXPECT_EQ(nfc({0x0065, 0x0301}), utf8_of({0x00E9}));
  EXPECT_EQ(nfkc({0x00E9}), utf8_of({0x00E9}));
  EXPECT_EQ(nfkc({0x0430, 0x200B, 0x200D, 0xFE0F}), utf8_of({0x0430, 0x200B, 0x200D, 0xFE0F}));
  EXPECT_EQ(nfc({0xFB01}), utf8_of({0xFB01}));
  EXPECT_EQ(nfc({0x212B}), utf8_of({0x00C5}));                  // singleton
  EXPECT_EQ(nfc({0x1100, 0x1161, 0x11A8}), utf8_of({0xAC01}));  // Hangul L V T
  EXPECT_EQ(nfc({0xAC00, 0x11A8}), utf8_of({0xAC01}));          // Hangul LV T
  EXPECT_EQ(nfc({0xAC01, 0x11A8}), utf8_of({0xAC01, 0x11A8}));  // LVT takes no T
  // Blocking: a mark of the same class between the base and the mark.
  EXPECT_EQ(nfc({0x0061, 0x0302, 0x0301}), utf8_of({0x1EA5}));
  EXPECT_EQ(nfc({0x0061, 0x0323, 0x0302}), utf8_of({0x1EAD}));  // reordered, then both compose
  EXPECT_EQ(nfc({0x0061, 0x05B0, 0x0301}), utf8_of({0x00E1, 0x05B0}));
  // Unicode 16 composites whose decomposition starts with a backward combiner.
  EXPECT_EQ(nfc({0x1611E, 0x1611E, 0x1611F}), utf8_of({0x16126}));
  EXPECT_EQ(nfc({0x16D63, 0x16D67, 0x16D67}), utf8_of({0x16D6A}));
  const std::string fdfa = nfkc({0xFDFA});
  const std::string one_fdfa = utf8_of({0xFDFA});
  ComposeStream s(one_fdfa, Form::nfkc);
  std::string out;
  EXPECT_EQ(s.pull_utf8(out, 17), 17u);
  EXPECT_EQ(s.pull_utf8(out, 17), 1u);
  EXPECT_EQ(out, fdfa);
}

TEST(NormkitCases, QuickCheckAnswers) {
  EXPECT_EQ(quick_check("plain ASCII", Form::nfc), QuickCheck::yes);
  EXPECT_EQ(quick_check(utf8_of({0x00E9}), Form::nfc), QuickCheck::yes);
  // Short Maybe stretches are normalized on the spot; long ones stay maybe.
  EXPECT_EQ(quick_check(utf8_of({0x0065, 0x0301}), Form::nfc), QuickCheck::no);
  EXPECT_EQ(quick_check(utf8_of({0x0B95, 0x0BBE}), Form::nfc), QuickCheck::yes);
  CodePoints long_stretch(40, 0x05B0);  // class 10, then U+0301 (230) is not blocked
  long_stretch.insert(long_stretch.begin(), 0x0065);
  long_stretch.push_back(0x0301);
  EXPECT_EQ(quick_check(utf8_of(long_stretch), Form::nfc), QuickCheck::maybe);
  EXPECT_FALSE(is_normalized(utf8_of(long_stretch), Form::nfc));
  long_stretch[0] = 0x0071;  // q + acute: no composite
  EXPECT_EQ(quick_check(utf8_of(long_stretch), Form::nfc), QuickCheck::maybe);
  EXPECT_TRUE(is_normalized(utf8_of(long_stretch), Form::nfc));
  EXPECT_EQ(quick_check(utf8_of({0x212B}), Form::nfc), QuickCheck::no);
  EXPECT_EQ(quick_check(utf8_of({0xFB01}), Form::nfc), QuickCheck::yes);
  EXPECT_EQ(quick_check(utf8_of({0xFB01}), Form::nfkc), QuickCheck::no);
  EXPECT_EQ(quick_check(utf8_of({0x0061, 0x05B0, 0x0316}), Form::nfc), QuickCheck::yes);
  EXPECT_EQ(quick_check(utf8_of({0x0061, 0x0316, 0x05B0}), Form::nfc), QuickCheck::no);  // order
  EXPECT_TRUE(is_normalized(utf8_of({0x0B95, 0x0BBE}), Form::nfc));    // Maybe, stays
  EXPECT_FALSE(is_normalized(utf8_of({0x0B92, 0x0BD7}), Form::nfc));   // Maybe, composes
  EXPECT_FALSE(is_normalized(utf8_of({0x0065, 0x0301}), Form::nfkc));
  EXPECT_TRUE(is_normalized("", Form::nfc));
}

// Random texts of pieces: ASCII runs, letters of several scripts, combining
// marks, Maybe vowel signs, Hangul jamo and syllables, compatibility
// characters, supplementary code points, and ill-formed bytes. pull_utf8 (with
// its fast paths) must agree with next(), with small pulls, and with the checks.
TEST(NormkitRandom, StreamsAndChecksAgree) {
  const std::vector<std::string> pieces = {
      "the ", "a", " ", "\n", "Article 12. ", utf8_of({0x00E9}), utf8_of({0x00C5, 0x00F1}),
      utf8_of({0x0434, 0x043E, 0x043C}), utf8_of({0x03AC}), utf8_of({0x1FB7}), utf8_of({0x0301}),
      utf8_of({0x0300}), utf8_of({0x0323}), utf8_of({0x0308}), utf8_of({0x0345}), utf8_of({0x05B0}),
      utf8_of({0x0316}), utf8_of({0x031B}), utf8_of({0x0344}), utf8_of({0x0F73}),
      utf8_of({0x0B95, 0x0BBE}), utf8_of({0x0B92}), utf8_of({0x0BD7}), utf8_of({0x0BC6}),
      utf8_of({0x0BBE}), utf8_of({0x0928, 0x093C}), utf8_of({0x094D}), utf8_of({0x1100}),
      utf8_of({0x1161}), utf8_of({0x11A8}), utf8_of({0xAC00}), utf8_of({0xAC01}), utf8_of({0x3131}),
      utf8_of({0xFB01}), utf8_of({0xFDFA}), utf8_of({0xFF21}), utf8_of({0x2474}), utf8_of({0x00A0}),
      utf8_of({0x1611E}), utf8_of({0x16121}), utf8_of({0x113C2}), utf8_of({0x16D63, 0x16D67}),
      utf8_of({0x1F600}), utf8_of({0x1D15E}), utf8_of({0x1D165, 0x1D16E}), utf8_of({0x0958}),
      utf8_of({0x2ADC}), utf8_of({0x212B}), utf8_of({0x3099}), utf8_of({0x304B}),
      utf8_of({0xFF76, 0xFF9E}), utf8_of({0x1E9B, 0x0323}), utf8_of({0x0390})};
  const std::vector<std::string> ill_formed = {"\x80", "\xC0\xAF", "\xE2\x82", "\xED\xA0\x80",
                                               "\xF4\x90\x80\x80", "\xFF", "\xCC", "\xF0\x9F"};
  std::mt19937 rng(20250);
  for (int iteration = 0; iteration < 12000; ++iteration) {
    std::string text;
    const bool valid = iteration % 4 != 0;
    for (unsigned n = 1 + rng() % (iteration % 3 ? 12 : 60); n > 0; --n) {
      text += pieces[rng() % pieces.size()];
      if (!valid && rng() % 6 == 0) text += ill_formed[rng() % ill_formed.size()];
    }
    for (Form form : {Form::nfc, Form::nfkc}) {
      const std::string n = normalize(text, form);
      ASSERT_EQ(via_next(text, form), n) << text;
      ASSERT_EQ(via_chunks(text, form, 1 + rng() % 20), n) << text;
      const QuickCheck qc = quick_check(text, form);
      ASSERT_EQ(is_normalized(text, form), n == text) << text;
      if (qc != QuickCheck::maybe) {
        ASSERT_EQ(qc == QuickCheck::yes, n == text) << text;
      }
      ASSERT_EQ(normalize(n, form), n) << text;
      ASSERT_TRUE(is_normalized(n, form)) << text;
    }
    ASSERT_EQ(normalize(normalize(text, Form::nfc), Form::nfkc), normalize(text, Form::nfkc));
  }
}

// ASCII runs of every length before text that composes with, reorders
// against or stays after the last ASCII letter: the scan passes sixteen
// ASCII bytes at a time, and the segment it hands on must still start at
// that letter, at every alignment of the blocks.
TEST(NormkitRandom, AsciiRunsThenMarksAtEveryAlignment) {
  const std::vector<std::string> tails = {utf8_of({0x0301}), utf8_of({0x0323, 0x0302}), utf8_of({0x0302, 0x0323}),
                                          utf8_of({0x00E9, 0x0301}), utf8_of({0x0B95, 0x0BBE}),
                                          utf8_of({0x1F600}) + "\xCC", utf8_of({0x0434, 0x0306}) + "end"};
  for (unsigned run = 0; run <= 40; ++run) {
    for (const std::string& tail : tails) {
      const std::string text = std::string(run, 'a') + tail + std::string(run % 7, 'z');
      for (Form form : {Form::nfc, Form::nfkc}) {
        const std::string n = normalize(text, form);
        ASSERT_EQ(is_normalized(text, form), n == text) << run << " " << text;
        ASSERT_EQ(quick_check(text, form) == QuickCheck::yes, n == text) << run << " " << text;
        ASSERT_EQ(via_next(text, form), n) << run << " " << text;
      }
    }
  }
}

TEST(NormkitBounded, MillionMarksInReverseClassOrder) {
  // Descending classes; two marks per class alternate so that a stable sort
  // is told from an unstable one.
  const std::vector<std::pair<char32_t, char32_t>> by_class = {
      {0x0345, 0x0345}, {0x035D, 0x035E}, {0x035C, 0x035F}, {0x0300, 0x0301},
      {0x0316, 0x0317}, {0x0321, 0x0322}, {0x05B0, 0x05B0}};
  constexpr std::size_t kMarks = 1000000;
  CodePoints cps = {' '};
  for (std::size_t i = 0; i < kMarks; ++i) {
    const auto& pair = by_class[i * by_class.size() / kMarks];
    cps.push_back(i % 2 ? pair.second : pair.first);
  }
  CodePoints expected = cps;
  std::stable_sort(expected.begin() + 1, expected.end(), [](char32_t a, char32_t b) {
    return normkit::combining_class(a) < normkit::combining_class(b);
  });
  ASSERT_LT(normkit::combining_class(expected[1]), normkit::combining_class(expected.back()));
  const std::string text = utf8_of(cps);
  const std::string want = utf8_of(expected);
  EXPECT_EQ(normalize(text, Form::nfc), want);
  EXPECT_EQ(via_next(text, Form::nfkc), want);
  EXPECT_FALSE(is_normalized(text, Form::nfc));
  EXPECT_TRUE(is_normalized(want, Form::nfc));
}

TEST(NormkitBounded, MillionFdfaStreamLazily) {
  std::string text;
  for (int i = 0; i < 1000000; ++i) normkit::utf8::append(text, 0xFDFA);
  const std::string one = nfkc({0xFDFA});
  ComposeStream head(text, Form::nfkc);
  std::string out;
  ASSERT_EQ(head.pull_utf8(out, 1000), 1000u);
  std::string expected;
  while (expected.size() < out.size()) expected += one;
  EXPECT_EQ(out, expected.substr(0, out.size()));
  char32_t cp;
  EXPECT_TRUE(head.next(cp));  // the 1001st is there

  // The whole 18 million, in chunks that are dropped as they come.
  ComposeStream all(text, Form::nfkc);
  std::uint64_t total = 0, got;
  do {
    out.clear();
    got = all.pull_utf8(out, 1 << 16);
    total += got;
  } while (got == 1 << 16);
  EXPECT_EQ(total, 18000000u);
}

// Ill-formed UTF-8 in exactly sized heap buffers, so that AddressSanitizer
// catches a read past the end.
TEST(NormkitUtf8, IllFormedBytesBecomeReplacementCharacters) {
  const std::string fffd = utf8_of({0xFFFD});
  const struct {
    std::string bytes;
    std::string expected;
  } cases[] = {
      {"\xE2\x82", fffd + fffd},                              // truncated at the end
      {"a\xE2\x82z", "a" + fffd + fffd + "z"},                // truncated inside
      {"\xF0\x9F\x98", fffd + fffd + fffd},                   // truncated 4-byte
      {"\xC0\xAF", fffd + fffd},                              // overlong
      {"\xE0\x80\xAF", fffd + fffd + fffd},                   // overlong 3-byte
      {"\xED\xA0\x80", fffd + fffd + fffd},                   // surrogate U+D800
      {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},        // above U+10FFFF
      {"\xF5\xFF\xFE\x80", fffd + fffd + fffd + fffd},        // never valid
      {"e\xCC", "e" + fffd},                                  // truncated mark
      {"e\xCC\x81\xCC", utf8_of({0x00E9}) + fffd},
  };
  for (const auto& c : cases) {
    for (Form form : {Form::nfc, Form::nfkc}) {
      const auto buffer = std::make_unique<char[]>(c.bytes.size());
      std::copy(c.bytes.begin(), c.bytes.end(), buffer.get());
      const std::string_view text(buffer.get(), c.bytes.size());
      EXPECT_EQ(normalize(text, form), c.expected);
      EXPECT_EQ(via_next(text, form), c.expected);
      EXPECT_EQ(via_chunks(text, form, 1), c.expected);
      EXPECT_EQ(quick_check(text, form), QuickCheck::no);
      EXPECT_FALSE(is_normalized(text, form));
    }
  }
}

TEST(NormkitMarks, ClassAndCount) {
  std::size_t count = 0;
  char32_t first = 0, last = 0;
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (!normkit::is_mark(cp)) continue;
    if (count++ == 0) first = cp;
    last = cp;
  }
  EXPECT_EQ(count, 2543u);
  EXPECT_EQ(first, 0x0300u);
  EXPECT_EQ(last, 0xE01EFu);
  for (char32_t cp : {0x0897u, 0x10D69u, 0x1E5EEu, 0x034Fu, 0x180Bu, 0xFE0Fu, 0x20DDu, 0x0903u}) {
    EXPECT_TRUE(normkit::is_mark(cp)) << hex(cp);
  }
  for (char32_t cp : {0x0041u, 0x180Eu, 0x200Du, 0xE01F0u, 0x110000u, 0xFFFFFFFFu}) {
    EXPECT_FALSE(normkit::is_mark(cp)) << hex(cp);
  }
  EXPECT_EQ(normkit::combining_class(0x0301), 230);
  EXPECT_EQ(normkit::combining_class(0x0041), 0);
  EXPECT_EQ(normkit::combining_class(0x110000), 0);
}

// Whatever precedes a code point with a boundary before it, normalization
// treats the two sides separately. The left sides end in starters that
// compose with many code points, or in marks that could be reordered.
TEST(NormkitBoundary, TextSplitsAtEveryBoundary) {
  const std::vector<std::string> lefts = {utf8_of({0x0065}), utf8_of({0x1100}), utf8_of({0xAC00}),
                                          utf8_of({0x0B47}), utf8_of({0x0061, 0x0323, 0x0301})};
  std::size_t boundaries[2] = {0, 0};
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    for (const Form form : {Form::nfc, Form::nfkc}) {
      if (!normkit::has_boundary_before(cp, form)) continue;
      ++boundaries[form == Form::nfc ? 0 : 1];
      const std::string right = utf8_of({cp, 0x0301});
      const std::string& left = lefts[cp % lefts.size()];
      ASSERT_EQ(normalize(left + right, form), normalize(left, form) + normalize(right, form)) << hex(cp);
    }
  }
  // Every code point but the marks, the quick-check No and Maybe ones.
  EXPECT_GT(boundaries[0], 1'100'000u - 2'048u - 3'000u);
  EXPECT_LT(boundaries[1], boundaries[0]);
  for (const char32_t cp : {0x0301u, 0x1161u, 0x11A8u, 0x3099u, 0x0F73u, 0x0BBEu, 0x0340u}) {
    EXPECT_FALSE(normkit::has_boundary_before(cp, Form::nfc)) << hex(cp);
    EXPECT_FALSE(normkit::has_boundary_before(cp, Form::nfkc)) << hex(cp);
  }
  EXPECT_TRUE(normkit::has_boundary_before(0xFB01, Form::nfc));
  EXPECT_FALSE(normkit::has_boundary_before(0xFB01, Form::nfkc));
  EXPECT_TRUE(normkit::has_boundary_before(0x0041, Form::nfkc));
}

TEST(NormkitStream, MovedFromStreamIsExhausted) {
  ComposeStream a("abc", Form::nfc);
  ComposeStream b(std::move(a));
  char32_t cp;
  std::string out;
  EXPECT_FALSE(a.next(cp));  // NOLINT(bugprone-use-after-move): documented behaviour
  EXPECT_EQ(a.pull_utf8(out, 10), 0u);
  EXPECT_EQ(b.pull_utf8(out, 10), 3u);
  EXPECT_EQ(out, "abc");
}

}  // namespace
}  // namespace normkit_test
