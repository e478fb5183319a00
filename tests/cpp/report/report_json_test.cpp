#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "report/report.h"

namespace orlenta {
namespace {

// The stats object of a report that holds nothing but these stats.
std::string stats_json(StatsMap stats) {
  SanitizeReport report;
  report.stats = std::move(stats);
  const std::string json = report_to_json(report);
  constexpr std::string_view head =
      R"({"report_version":1,"policy":"","normalization":"","changed":false,"removed_counts":{},)"
      R"("flagged_counts":{},"spans":[],"stats":)";
  EXPECT_TRUE(json.starts_with(head)) << json;
  return json.substr(head.size(), json.size() - head.size() - 1);
}

TEST(ReportJson, FullReportKeepsKeyOrderAndSortsMaps) {
  SanitizeReport report;
  report.policy = "strict_exec";
  report.normalization = "NFKC";
  report.changed = true;
  bump_removed(report, "junk_invisible", 1);
  bump_removed(report, "carriage_return", 2);
  bump_removed(report, "bidi_control", 1);
  bump_flagged(report, "high_entropy", 1);
  bump_removed(report, "junk_invisible", 1);
  report.spans.push_back({"removed", "carriage_return", 0, 1, 0x0D});
  report.spans.push_back({"flag", "default_ignorable", 3, 7, 0xE0041});
  report.stats.add("unicode_normalization_version", std::string_view("17.0.0"));
  report.stats.add("ascii_fast_path", false);
  report.stats.add("entropy_2000", 2.0);
  report.stats.add("normalization_input_chars", std::uint64_t{18446744073709551615u});
  report.stats.add("base64ish", true);
  report.stats.sort_by_name();
  EXPECT_EQ(report_to_json(report),
            R"({"report_version":1,"policy":"strict_exec","normalization":"NFKC","changed":true,)"
            R"("removed_counts":{"bidi_control":1,"carriage_return":2,"junk_invisible":2},)"
            R"("flagged_counts":{"high_entropy":1},)"
            R"("spans":[{"kind":"removed","reason":"carriage_return","start":0,"end":1,"detail":"U+000D"},)"
            R"({"kind":"flag","reason":"default_ignorable","start":3,"end":7,"detail":"U+E0041"}],)"
            R"("stats":{"ascii_fast_path":false,"base64ish":true,"entropy_2000":2.0,)"
            R"("normalization_input_chars":18446744073709551615,"unicode_normalization_version":"17.0.0"}})");
}

TEST(ReportJson, FloatsAreShortestAndAlwaysReadAsFloats) {
  const std::vector<std::pair<double, std::string>> cases = {
      {2.0, "2.0"},
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {0.2, "0.2"},
      {0.1 + 0.2, "0.30000000000000004"},
      {4.271928373612, "4.271928373612"},
      {123456789.0, "123456789.0"},
      {1e-7, "1e-07"},
      {1e22, "1e+22"},
      {5e-324, "5e-324"},
      {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
      {std::numeric_limits<double>::quiet_NaN(), "null"},
      {std::numeric_limits<double>::infinity(), "null"},
      {-std::numeric_limits<double>::infinity(), "null"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(stats_json({{"x", value}}), R"({"x":)" + text + "}");
  EXPECT_EQ(stats_json({}), "{}");
}

TEST(ReportJson, FloatsReadBackExactly) {
  std::mt19937_64 bits(20240601);
  for (int i = 0; i < 20000; ++i) {
    const auto value = std::bit_cast<double>(bits());
    if (!std::isfinite(value)) continue;
    const std::string object = stats_json({{"x", value}});
    const std::string text = object.substr(5, object.size() - 6);
    ASSERT_NE(text.find_first_of(".e"), std::string::npos) << text;
    ASSERT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
  }
}

TEST(ReportJson, StringEscapes) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"plain ASCII ~", R"("plain ASCII ~")"},
      {"quote \" backslash \\ slash /", R"("quote \" backslash \\ slash /")"},
      {"\n\r\t\b\f", R"("\n\r\t\b\f")"},
      {std::string("\x00\x01\x1f\x7f", 4), "\"\\u0000\\u0001\\u001f\x7f\""},
      // Non-ASCII stays raw UTF-8, escapes around it still apply.
      {"caf\u00e9 \u200b \U0001F600\n", "\"caf\u00e9 \u200b \U0001F600\\n\""},
      // Bytes that are not UTF-8 become U+FFFD instead of failing.
      {"a\xff" "b\xc3", "\"a\uFFFDb\uFFFD\""},
  };
  for (const auto& [value, json] : cases) {
    SCOPED_TRACE(json);
    EXPECT_EQ(stats_json({{"s", value}}), R"({"s":)" + json + "}");
    // Keys go through the same writer.
    EXPECT_EQ(stats_json({{value, true}}), "{" + json + ":true}");
  }
}

// Strings are tested and copied eight bytes at a time: every length around
// the word size, with a byte that needs an escape at every position, and
// without one, must read as nlohmann::json writes it.
TEST(ReportJson, StringsOfEveryLengthAndEscapePosition) {
  for (std::size_t length = 0; length < 26; ++length) {
    for (std::size_t at = 0; at <= length; ++at) {
      for (const char special : {'"', '\\', '\n', '\x01', '\xC3'}) {
        std::string value(length, 'k');
        if (at < length) {
          value[at] = special;
          if (special == '\xC3') value.insert(at + 1, 1, '\xA9');
        }
        const std::string json = nlohmann::json(value).dump();
        ASSERT_EQ(stats_json({{"s", value}}), R"({"s":)" + json + "}") << length << " " << at;
        ASSERT_EQ(stats_json({{value, false}}), "{" + json + ":false}") << length << " " << at;
      }
    }
  }
}

// Short strings are tested a word or two at a time: every byte value at
// every position of them must come out as nlohmann::json writes it, bytes
// that are not UTF-8 replaced.
TEST(ReportJson, ShortStringsWithEveryByteAtEveryPosition) {
  for (std::size_t length = 1; length < 10; ++length) {
    for (std::size_t at = 0; at < length; ++at) {
      for (int byte = 0; byte < 256; ++byte) {
        std::string value(length, 'k');
        value[at] = static_cast<char>(byte);
        const std::string json = nlohmann::json(value).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        ASSERT_EQ(stats_json({{"s", value}}), R"({"s":)" + json + "}") << length << " " << at << " " << byte;
      }
    }
  }
}

// Names may arrive in any order; sorting puts them in name order, and in a
// list a repeated name keeps its first entry.
TEST(ReportJson, StatsAreSortedWhateverTheInsertionOrder) {
  SanitizeReport report;
  for (const std::string_view name : {"m", "z", "a", "b", "zz", "c"}) report.stats.add(name, static_cast<std::uint64_t>(name[0] - 'a'));
  report.stats.sort_by_name();
  EXPECT_EQ(report.stats.size(), 6u);
  EXPECT_EQ(std::get<std::uint64_t>(report.stats.find("m")->second), 12u);
  EXPECT_EQ(report.stats.find("q"), report.stats.end());
  const std::string json = report_to_json(report);
  EXPECT_TRUE(json.ends_with(R"("stats":{"a":0,"b":1,"c":2,"m":12,"z":25,"zz":25}})")) << json;
  EXPECT_EQ(stats_json({{"b", true}, {"a", false}, {"b", false}}), R"({"a":false,"b":true})");
}

// Sorts the lists one after another with `sort`; each must come out as a
// stable sort puts it, whether the remembered order fits it or not.
void expect_stable_sorts(const std::vector<std::vector<std::string_view>>& lists, void (StatsMap::*sort)()) {
  for (const auto& names : lists) {
    StatsMap stats;
    for (std::uint64_t i = 0; i < names.size(); ++i) stats.add(names[i], i);
    std::vector<std::pair<std::string_view, std::uint64_t>> expected;
    for (std::uint64_t i = 0; i < names.size(); ++i) expected.emplace_back(names[i], i);
    std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    (stats.*sort)();
    std::vector<std::pair<std::string_view, std::uint64_t>> sorted;
    for (const auto& [name, value] : stats) sorted.emplace_back(name, std::get<std::uint64_t>(value));
    EXPECT_EQ(sorted, expected) << testing::PrintToString(names);
  }
}

TEST(ReportJson, EachListIsSortedStablyAfterAnother) {
  expect_stable_sorts({{"b", "a", "d", "c"}, {"b", "a", "d", "c"}, {"a", "b", "c", "d"}, {"d", "c", "b", "a"},
                       {"b", "a", "d", "a"}, {"b", "a", "a", "d"}, {"a", "a", "a", "a"}, {"b", "a", "d", "c"},
                       {"ab", "a", "abc", "b"}, {}, {"x"}, {"b", "a", "d", "c"}},
                      &StatsMap::sort_by_name);
}

// A list whose entries are the very views the remembered order sorted takes
// that order untested. The same text at other addresses (in any order, so
// equal names must keep the order they were added in), a shorter view of a
// remembered literal, or other names must be sorted by their text, also when
// only the last entry differs, after the others were put in their places.
TEST(ReportJson, LiteralNamesSortAsAnyOther) {
  static const std::string copies[] = {"b", "a", "d", "c"};
  constexpr std::string_view abc = "abc";
  const std::string_view a = "a";
  const std::string_view b = "b";
  expect_stable_sorts({{b, a, "d", "c"}, {b, a, "d", "c"}, {copies[0], copies[1], copies[2], copies[3]},
                       {b, a, "d", "c"}, {a, copies[1], b, copies[0]}, {copies[1], a, copies[0], b},
                       {a, copies[1], b, copies[0]}, {abc, abc.substr(0, 1), abc.substr(0, 2), b},
                       {abc.substr(0, 2), abc.substr(0, 1), abc, b}, {b, b, a}, {b, b, a}, {a, b, b}, {}, {b, a, "d", "c"},
                       {b, a, "d", copies[0]}, {b, a, "d", "c"}, {b, a, "d", abc.substr(0, 1)}},
                      &StatsMap::sort_literal_names);
}

// The writer remembers literal names that needed no escapes and copies the
// very same views untested; a name at another address or of another length
// is tested again, and one that needs escapes is never remembered.
TEST(ReportJson, LiteralNamesAreEscapedWhereTheyNeedIt) {
  static const std::string quoted = "a\"b";
  constexpr std::string_view line = "ab\ncd";
  const std::string_view ab = "ab";
  const std::string_view cd = "cd";
  const std::vector<std::vector<std::string_view>> lists = {
      {ab, cd}, {ab, cd},   {line.substr(0, 2), cd}, {ab, line.substr(3)}, {ab, line}, {ab, line},
      {ab, cd}, {quoted, cd}, {quoted, cd},          {ab, cd},             {ab},       {ab, cd, line}};
  for (const auto& names : lists) {
    StatsMap stats;
    nlohmann::json expected = nlohmann::json::object();
    for (std::uint64_t i = 0; i < names.size(); ++i) {
      stats.add(names[i], i);
      expected[std::string(names[i])] = i;
    }
    stats.sort_literal_names();
    EXPECT_EQ(stats_json(std::move(stats)), expected.dump()) << testing::PrintToString(names);
  }
}

// Appending writes what report_to_json gives after what the buffer holds,
// for a report written in the thread's buffer and for one too big for it.
TEST(ReportJson, AppendedReportsFollowWhatTheBufferHolds) {
  SanitizeReport small;
  small.policy = "balanced_chat";
  bump_removed(small, "zero_width", 2);
  small.stats.add("ascii_fast_path", true);
  SanitizeReport large = small;
  for (std::uint64_t i = 0; i < 2000; ++i) large.spans.push_back({"removed", "zero_width", i, i + 1, 0x200B});
  std::string buffer = "text before";
  std::string expected = buffer;
  for (const SanitizeReport* report : {&small, &large, &small}) {
    append_report_json(buffer, *report);
    expected += report_to_json(*report);
    ASSERT_EQ(buffer, expected);
  }
}

// Span events as nlohmann::json writes each member, whatever their kinds and
// reasons: names that need escapes, names too long to be remembered, more
// pairs than are remembered, equal text at other addresses, in reports
// written in the thread's buffer and in strings of their own.
TEST(ReportJson, SpansAsEachMemberIsWrittenAlone) {
  const std::string long_name(150, 'r');
  std::vector<std::string> copies;
  for (int i = 0; i < 20; ++i) copies.push_back("reason_" + std::to_string(i));
  std::vector<std::string_view> names = {"removed", "flag", "quote\"d", "back\\slash", "\x01control", "caf\xc3\xa9",
                                         "bad\xff", "", "ab", long_name};
  for (const std::string& copy : copies) names.push_back(copy);
  const std::string twin = "removed";
  names.push_back(twin);
  const auto dump = [](std::string_view text) {
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  };
  std::mt19937_64 random(11);
  for (const std::size_t count : {0, 1, 5, 300, 3000}) {
    SanitizeReport report;
    std::string expected = R"("spans":[)";
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint64_t start = random() >> (random() % 64);
      const SpanEvent span{names[random() % names.size()], names[random() % names.size()], start,
                           random() % 4 == 0 ? std::numeric_limits<std::uint64_t>::max() : start + 3,
                           static_cast<char32_t>(random() % 3 == 0 ? random() : random() % 0x110000)};
      report.spans.push_back(span);
      if (i > 0) expected += ',';
      expected += R"({"kind":)" + dump(span.kind) + R"(,"reason":)" + dump(span.reason) + R"(,"start":)" +
                  std::to_string(span.start) + R"(,"end":)" + std::to_string(span.end) + R"(,"detail":)" +
                  dump(code_point_detail(span.code_point)) + "}";
    }
    expected += R"(],"stats":{}})";
    const std::string json = report_to_json(report);
    ASSERT_TRUE(json.ends_with(expected)) << count;
    std::string appended = "before";
    append_report_json(appended, report);
    ASSERT_EQ(appended, "before" + json) << count;
  }
}

}  // namespace
}  // namespace orlenta
