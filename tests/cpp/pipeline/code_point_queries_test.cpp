#include "pipeline/code_point_queries.h"

#include <gtest/gtest.h>

#include <string>

#include "normkit/normalize.h"

namespace orlenta {
namespace {

std::string skeleton_error(std::string_view text, std::uint64_t max_chars) {
  Outcome<std::optional<std::string>> outcome = normalize_for_skeleton(text, max_chars);
  if (const Error* error = std::get_if<Error>(&outcome)) return error->message;
  const std::optional<std::string>& skeleton = std::get<std::optional<std::string>>(outcome);
  return "ok: " + (skeleton ? *skeleton : std::string(text));
}

TEST(Skeleton, BoundsOnBothSides) {
  const std::string fdfa = "\xEF\xB7\xBA";
  struct Case {
    std::string text;
    std::uint64_t max_chars;
    std::string expected;
  };
  const Case cases[] = {
      {fdfa, 18, "ok: " + normkit::normalize(fdfa, normkit::Form::nfkc)},
      {fdfa, 17, "confusable skeleton output exceeds max_chars=17"},
      {"e\xCC\x81", 2, "ok: \xC3\xA9"},
      {"e\xCC\x81", 1, "confusable skeleton input exceeds max_chars=1"},
      {"\xEF\xAC\x83", 2, "confusable skeleton output exceeds max_chars=2"},
      {"", 0, "ok: "},
      {"a", 0, "confusable skeleton input exceeds max_chars=0"},
      {"\xEF\xAC\x81", 1000000, "ok: fi"},
  };
  for (const Case& c : cases) EXPECT_EQ(skeleton_error(c.text, c.max_chars), c.expected) << c.text;
}

TEST(Skeleton, StopsPullingAtTheLimit) {
  std::string bomb;
  for (int i = 0; i < 1000000; ++i) bomb += "\xEF\xB7\xBA";
  EXPECT_EQ(skeleton_error(bomb, 1000000), "confusable skeleton output exceeds max_chars=1000000");
}

}  // namespace
}  // namespace orlenta
