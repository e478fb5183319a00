#include "detect/code_point_offsets.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

namespace orlenta::detect {
namespace {

// Every pair of boundaries of a text with code points of every length,
// against a count made one code point at a time.
TEST(CodePointOffsets, EveryPairOfBoundariesIsConvertedToCodePoints) {
  const std::string text = "a\u00e9\u4e2d\U0001F600b\u0301\u200d";
  std::vector<std::size_t> boundaries;  // boundaries[k]: byte offset of code point k
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || (static_cast<unsigned char>(text[i]) & 0xC0u) != 0x80u) boundaries.push_back(i);
  }
  std::vector<Finding> findings;
  for (std::size_t s = 0; s < boundaries.size(); ++s) {
    for (std::size_t e = s; e < boundaries.size(); ++e) {
      findings.push_back({FindingKind::zalgo, boundaries[s], boundaries[e], {}});
    }
  }
  to_code_point_offsets(text, findings);
  std::size_t index = 0;
  for (std::size_t s = 0; s < boundaries.size(); ++s) {
    for (std::size_t e = s; e < boundaries.size(); ++e, ++index) {
      EXPECT_EQ(findings[index].start, s);
      EXPECT_EQ(findings[index].end, e);
    }
  }
}

TEST(FindingKindName, EveryKindHasItsOwnName) {
  EXPECT_EQ(finding_kind_name(FindingKind::encoded_payload), "encoded_payload");
  EXPECT_EQ(finding_kind_name(FindingKind::joiner_out_of_context), "joiner_out_of_context");
  EXPECT_EQ(finding_kind_name(FindingKind::confusable), "confusable");
}

}  // namespace
}  // namespace orlenta::detect
