#include "classes/emoji_flag_tags.h"

#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace orlenta {
namespace {

// The compiler's own UTF-8 encoding of the tag characters, independent of
// the encoder under test.
std::string utf8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

const std::string england = utf8(u8"\U000E0067\U000E0062\U000E0065\U000E006E\U000E0067\U000E007F");
const std::string scotland = utf8(u8"\U000E0067\U000E0062\U000E0073\U000E0063\U000E0074\U000E007F");
const std::string wales = utf8(u8"\U000E0067\U000E0062\U000E0077\U000E006C\U000E0073\U000E007F");

TEST(ProtectedFlagTags, AreEnglandScotlandAndWalesInThatOrder) {
  ASSERT_EQ(protected_flag_tags.size(), 3u);
  EXPECT_EQ(std::string(protected_flag_tags[0].begin(), protected_flag_tags[0].end()), england);
  EXPECT_EQ(std::string(protected_flag_tags[1].begin(), protected_flag_tags[1].end()), scotland);
  EXPECT_EQ(std::string(protected_flag_tags[2].begin(), protected_flag_tags[2].end()), wales);
}

TEST(ProtectedFlagTags, MatchOnlyAWholeSequenceAtTheStart) {
  const struct {
    const char* what;
    std::string after_flag;
    bool protected_tags;
  } cases[] = {
      {"England", england, true},
      {"Scotland", scotland, true},
      {"Wales followed by more text", wales + "abc", true},
      {"England twice", england + england, true},
      {"empty", "", false},
      {"England without its cancel tag", england.substr(0, 20), false},
      {"England cut inside its cancel tag", england.substr(0, 23), false},
      {"England after a space", " " + england, false},
      {"a region in upper-case tag letters",
       utf8(u8"\U000E0047\U000E0042\U000E0045\U000E004E\U000E0047\U000E007F"), false},
      {"Northern Ireland, a subdivision flag outside the three",
       utf8(u8"\U000E0067\U000E0062\U000E006E\U000E0069\U000E0072\U000E007F"), false},
      {"England with a stray byte in its cancel tag", england.substr(0, 23) + "x", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(starts_with_protected_flag_tags(c.after_flag), c.protected_tags) << c.what;
  }
}

}  // namespace
}  // namespace orlenta
