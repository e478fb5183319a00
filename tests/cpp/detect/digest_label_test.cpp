#include "detect/digest_label.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace orlenta::detect {
namespace {

struct Context {
  std::string_view before;
  std::string_view after;
  bool digest;
};

// How lock files, integrity attributes and checksum lists write a digest,
// and the near misses that must stay payloads.
constexpr Context contexts[] = {
    {"golang.org/x/text v0.3.0 h1:", "\n", true},
    {"--hash=sha256:", " \\\n", true},
    {"hash = \"sha256:", "\", size = 24210", true},
    {"checksum = \"", "\"", true},
    {"\"integrity\": \"", "\"", true},
    {"<script integrity=\"sha384-", "\">", true},
    {"SNOWBALL_SHA256 = '", "'", true},
    {"  \"gitSha\" : \"", "\"", true},
    {"<DigestValue>", "</DigestValue>", true},
    {"SHA256 (orlenta-1.0.tar.gz) = ", "\n", true},
    {"commit ", "\n", true},
    {"", "  orlenta-1.0.tar.gz\n", true},
    {"notes\n    ", " *orlenta.whl", true},
    {"Here it is: ", "\n", false},
    {"shadow = \"", "\"", false},
    {"shared_key: ", "", false},
    {"sha256:\n", "\n", false},
    {"sha256", ":", false},
    {"sha256 (file.tar.gz = ", "", false},
    {"", " orlenta-1.0.tar.gz", false},
    {"", "  ", false},
    {"see ", "  orlenta-1.0.tar.gz", false},
};

TEST(DigestLabel, DigestsAreKnownByWhereTheyAreWritten) {
  const std::string run(64, 'a');
  for (const Context& context : contexts) {
    const std::string text = std::string(context.before) + run + std::string(context.after);
    const std::size_t start = context.before.size();
    EXPECT_EQ(is_written_as_digest(text, start, start + run.size()), context.digest)
        << context.before << "<run>" << context.after;
  }
}

TEST(DigestLabel, OnlyALabelJoinedByAHyphenIsCutOff) {
  EXPECT_EQ(digest_prefix_length("sha512-abcd"), 7u);
  EXPECT_EQ(digest_prefix_length("SHA1-abcd"), 5u);
  EXPECT_EQ(digest_prefix_length("payload-abcd"), 0u);
  EXPECT_EQ(digest_prefix_length("-abcd"), 0u);
  EXPECT_EQ(digest_prefix_length("abcd"), 0u);
  EXPECT_EQ(digest_prefix_length("averylongnamewithsha-abcd"), 0u);
}

}  // namespace
}  // namespace orlenta::detect
