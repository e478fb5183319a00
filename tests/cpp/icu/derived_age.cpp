#include "derived_age.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace icu_differential {
namespace {

AgeRange parse_line(const std::string& line) {
  // "0000..001F    ; 1.1 #  [32] <control-0000>..<control-001F>"
  std::istringstream in(line);
  unsigned first = 0;
  unsigned last = 0;
  in >> std::hex >> first;
  if (in.peek() == '.') {
    in.ignore(2);
    in >> std::hex >> last;
  } else {
    last = first;
  }
  char separator = 0;
  char dot = 0;
  AgeRange range{static_cast<char32_t>(first), static_cast<char32_t>(last), {}};
  in >> separator >> std::dec >> range.age.major >> dot >> range.age.minor;
  if (!in || separator != ';' || dot != '.' || last < first || last > 0x10FFFF) {
    throw std::runtime_error("malformed DerivedAge line: " + line);
  }
  return range;
}

}  // namespace

std::vector<AgeRange> read_derived_age(const std::filesystem::path& file) {
  std::ifstream in(file);
  if (!in) {
    throw std::runtime_error("cannot read " + file.string());
  }
  std::vector<AgeRange> ranges;
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t data_end = line.find('#');
    if (line.find_first_not_of(" \t\r", 0) < std::min(data_end, line.size())) {
      ranges.push_back(parse_line(line));
    }
  }
  return ranges;
}

}  // namespace icu_differential
