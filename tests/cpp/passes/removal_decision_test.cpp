#include "passes/removal_decision.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "normkit/utf8.h"
#include "text/utf8.h"

namespace orlenta {
namespace {

// The walk learns one action per class, so two code points may share a
// class only when they are in exactly the same classes of the chain.
TEST(RemovalDecision, ClassesHoldCodePointsOfOneSignature) {
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    ASSERT_EQ(decision_class_signature(decision_class(cp)), decision_signature(cp)) << std::hex << static_cast<unsigned>(cp);
  }
}

// Every policy the nine switches of the chain make.
std::vector<ResolvedPolicy> every_switch_setting() {
  std::vector<ResolvedPolicy> policies;
  for (unsigned bits = 0; bits < 512; ++bits) {
    ResolvedPolicy policy;
    bool* const switches[] = {&policy.remove_bidi,           &policy.remove_bidi_marks,
                              &policy.flag_bidi_marks,       &policy.remove_tag_chars,
                              &policy.cap_variation_selectors, &policy.remove_junk_invisibles,
                              &policy.remove_other_controls, &policy.remove_default_ignorables,
                              &policy.flag_default_ignorables};
    for (unsigned bit = 0; bit < 9; ++bit) *switches[bit] = ((bits >> bit) & 1) != 0;
    policies.push_back(policy);
  }
  return policies;
}

// What the walk learns from the first code point of a class holds for every
// other one, under every policy.
TEST(RemovalDecision, EveryCodePointOfAClassGetsItsAction) {
  const std::vector<ResolvedPolicy> policies = every_switch_setting();
  std::vector<char32_t> first_of_class(decision_class_count, 0x110000);
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (!needs_decision(cp)) continue;
    const std::uint8_t id = decision_class(cp);
    ASSERT_NE(id, 0) << std::hex << static_cast<unsigned>(cp);
    if (first_of_class[id] == 0x110000) first_of_class[id] = cp;
    for (const ResolvedPolicy& policy : policies) {
      ASSERT_EQ(removal_action(cp, policy), removal_action(first_of_class[id], policy)) << std::hex << static_cast<unsigned>(cp);
    }
  }
}

// Every scalar value, followed by bytes of every kind that it must not read
// into its value.
TEST(RemovalDecision, DecodesFromFourBytesAsTheDecoderDoes) {
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    for (const char after : {'\x00', '\x7F', '\x80', '\xBF', '\xFF'}) {
      std::string bytes;
      normkit::utf8::append(bytes, cp);
      bytes.append(4, after);
      std::size_t expected_length = 0;
      std::size_t length = 0;
      const char32_t expected = decode_utf8(bytes.data(), expected_length);
      ASSERT_EQ(decode_from_four_bytes(bytes.data(), length), expected) << std::hex << static_cast<unsigned>(cp);
      ASSERT_EQ(length, expected_length) << std::hex << static_cast<unsigned>(cp);
    }
  }
}

}  // namespace
}  // namespace orlenta
