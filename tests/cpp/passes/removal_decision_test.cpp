#include "passes/removal_decision.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

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

// The table the walk takes its actions from holds, for every code point
// that needs a decision and every setting of the switches, what the chain
// decides and what retaining the code point does to the selector state; and
// a policy is found under the setting of its own switches.
TEST(RemovalDecision, ClassActionsAreTheChainsForEveryCodePointAndPolicy) {
  for (unsigned setting = 0; setting < removal_switch_settings; ++setting) {
    ASSERT_EQ(removal_switches(with_removal_switches(setting)), setting);
  }
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (!needs_decision(cp)) continue;
    const std::uint8_t id = decision_class(cp);
    ASSERT_NE(id, 0) << std::hex << static_cast<unsigned>(cp);
    for (unsigned setting = 0; setting < removal_switch_settings; ++setting) {
      const ResolvedPolicy policy = with_removal_switches(setting);
      ASSERT_EQ(class_actions(policy)[id], class_action(cp, policy)) << std::hex << static_cast<unsigned>(cp);
    }
    for (const char* name : {"preserve", "balanced_chat", "strict_exec", "code_mode"}) {
      const ResolvedPolicy& preset = *find_policy(name);
      ASSERT_EQ(class_actions(preset)[id], class_action(cp, preset)) << name << std::hex << static_cast<unsigned>(cp);
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
