// The ages of code points, from DerivedAge.txt of the Unicode Character
// Database: which version first assigned each listed code point.
#pragma once

#include <compare>
#include <filesystem>
#include <vector>

namespace icu_differential {

struct UnicodeVersion {
  int major = 0;
  int minor = 0;
  auto operator<=>(const UnicodeVersion&) const = default;
};

struct AgeRange {
  char32_t first = 0;
  char32_t last = 0;
  UnicodeVersion age;
};

// Every range listed in the file; throws std::runtime_error when the file
// cannot be read or a data line is malformed.
std::vector<AgeRange> read_derived_age(const std::filesystem::path& file);

}  // namespace icu_differential
