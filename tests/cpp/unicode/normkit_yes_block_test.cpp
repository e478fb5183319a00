// The quick-check scan's block shortcut against the properties, code point
// by code point and byte pattern by byte pattern.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "normkit/utf8.h"
#include "normkit_test_util.h"
#include "unicode_data.h"
#include "yes_block.h"

namespace normkit_test {
namespace {

using normkit::detail::kYesBlockReach;
using normkit::detail::kYesBlockSize;
using normkit::detail::YesBlock;

using Buffer = std::array<unsigned char, kYesBlockSize + kYesBlockReach>;

YesBlock test_block(const Buffer& bytes, Form form) {
  return form == Form::nfc ? normkit::detail::test_yes_block<Form::nfc>(bytes.data())
                           : normkit::detail::test_yes_block<Form::nfkc>(bytes.data());
}

// How far the scan may jump: past the whole block and its overhang, or to
// the first doubtful lane.
unsigned passed_bytes(const YesBlock& block) {
  return block.doubtful == 0 ? kYesBlockSize + block.overhang : static_cast<unsigned>(std::countr_zero(block.doubtful));
}

// What the shortcut passes over is well-formed UTF-8 made of quick-check-Yes
// starters, cut where the code points start, and `starts` marks exactly
// those starts. Returns the failure, or "".
std::string unsound(const Buffer& bytes, Form form) {
  const YesBlock block = test_block(bytes, form);
  const unsigned passed = passed_bytes(block);
  const auto yes_starter_mask = normkit::detail::form_bits(form).yes_starter_mask;
  std::uint32_t starts = 0;
  unsigned at = 0;
  while (at < passed) {
    char32_t cp = 0;
    const unsigned length = normkit::utf8::decode_valid(bytes.data() + at, bytes.data() + bytes.size(), cp);
    if (length == 0) return "passes an ill-formed byte at lane " + std::to_string(at);
    if ((normkit::detail::props(cp) & yes_starter_mask) != 0) return "passes " + hex(cp);
    starts |= std::uint32_t{1} << at;
    at += length;
  }
  if (at != passed) return "stops inside a code point";
  const std::uint32_t before = passed >= kYesBlockSize ? 0xFFFFu : (std::uint32_t{1} << passed) - 1;
  if ((block.starts & before) != starts) return "marks other starts";
  return "";
}

// Every scalar value in every lane, between ASCII letters, in both forms:
// the lanes past the block hold the continuation bytes of those in the last
// lanes.
TEST(NormkitYesBlock, PassesOnlyYesStartersInEveryLane) {
  for (Form form : {Form::nfc, Form::nfkc}) {
    for (char32_t cp = 0x80; cp <= 0x10FFFF; ++cp) {
      if (cp >= 0xD800 && cp <= 0xDFFF) continue;
      std::string encoded;
      normkit::utf8::append(encoded, cp);
      for (unsigned lane = 0; lane < kYesBlockSize; ++lane) {
        Buffer bytes;
        bytes.fill('a');
        std::memcpy(bytes.data() + lane, encoded.data(), encoded.size());
        const std::string failure = unsound(bytes, form);
        ASSERT_EQ(failure, "") << hex(cp) << " in lane " << lane << (form == Form::nfc ? " NFC" : " NFKC");
      }
    }
  }
}

// Lead bytes followed by every second byte and by third and fourth bytes
// from each byte class, at the start of the block and where they run past
// its end: truncated, overlong, surrogate, out-of-range and stray bytes are
// never passed.
TEST(NormkitYesBlock, NeverPassesIllFormedBytes) {
  constexpr std::array<unsigned char, 10> later = {0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xF4};
  for (Form form : {Form::nfc, Form::nfkc}) {
    for (unsigned lead = 0x80; lead <= 0xFF; ++lead) {
      for (unsigned second = 0; second <= 0xFF; ++second) {
        for (unsigned char third : later) {
          for (unsigned char fourth : later) {
            for (unsigned lane : {0u, 13u, 14u, 15u}) {
              Buffer bytes;
              bytes.fill('a');
              const std::array<unsigned char, 4> sequence = {static_cast<unsigned char>(lead),
                                                             static_cast<unsigned char>(second), third, fourth};
              std::memcpy(bytes.data() + lane, sequence.data(), sequence.size());
              const std::string failure = unsound(bytes, form);
              ASSERT_EQ(failure, "") << std::hex << lead << " " << second << " " << +third << " " << +fourth
                                     << " in lane " << std::dec << lane;
            }
          }
        }
      }
    }
  }
}

// The text the shortcut is for passes in whole blocks: a shortcut that
// gives up on it would only cost time, which no other test notices.
TEST(NormkitYesBlock, PassesCommonTextWhole) {
  struct Case {
    const char* text;
    bool nfkc_too;
  };
  const Case cases[] = {
      {"see \u2764\uFE0F \U0001F44D\U0001F3FD \U0001F468\u200D\U0001F469", false},  // emoji chat
      {"\u041F\u0440\u0438\u0432\u0435\u0442, \u043C\u0438\u0440!", true},          // Cyrillic
      {"\u4EBA\u4EBA\u751F\u800C\u81EA\u7531\u5E73\u7B49", true},                              // CJK
      {"a\u200Bb\u202Ec\u2066d\U000E0041 \u200D\uFE0F", true},                                  // removable invisibles
      {"caf\u00E9 na\u00EFve \u00E0 d\u00E9j\u00E0 \u201Cvu\u201D", false},                   // Latin-1, quotes
  };
  for (const Case& c : cases) {
    const std::string text = c.text;
    ASSERT_GE(text.size(), kYesBlockSize + kYesBlockReach) << c.text;
    for (Form form : {Form::nfc, Form::nfkc}) {
      if (form == Form::nfkc && !c.nfkc_too) continue;
      // From each code point start that leaves a whole block to test.
      for (std::size_t at = 0; at + kYesBlockSize + kYesBlockReach <= text.size(); ++at) {
        if ((static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) continue;
        Buffer bytes;
        std::memcpy(bytes.data(), text.data() + at, bytes.size());
        EXPECT_EQ(test_block(bytes, form).doubtful, 0u) << c.text << " from byte " << at;
      }
    }
  }
}

}  // namespace
}  // namespace normkit_test
