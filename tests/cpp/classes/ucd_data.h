// Reading the Unicode Character Database files that the class and table
// tests compare against. The files are read at test time from the shared
// data folder, never copied into the repository.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace orlenta::test {

inline constexpr char32_t code_space_size = 0x110000;

// Membership of every code point U+0000..10FFFF.
using CodePointSet = std::vector<bool>;

std::filesystem::path ucd_dir();

// The semicolon-separated fields of every data line of a UCD file, with the
// comment cut off and each field trimmed.
std::vector<std::vector<std::string>> read_data_lines(const std::filesystem::path& file);

// The first and last code point of a range field ("XXXX" or "XXXX..YYYY").
std::pair<char32_t, char32_t> parse_range(const std::string& field);

// The code points that a property file ("XXXX..YYYY ; Value # comment")
// assigns the given value.
CodePointSet read_property(const std::filesystem::path& file, std::string_view value);

// Skips every test of the suite when the Unicode data is not available.
class UcdTest : public testing::Test {
 protected:
  void SetUp() override;
};

}  // namespace orlenta::test
