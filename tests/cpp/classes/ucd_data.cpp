#include "ucd_data.h"

#include <fstream>
#include <stdexcept>

namespace orlenta::test {
namespace {

std::string trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) {
    return {};
  }
  const auto last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

}  // namespace

std::filesystem::path ucd_dir() { return std::filesystem::path(ORLENTA_SHARED_DIR) / "ucd" / "17.0.0"; }

std::vector<std::vector<std::string>> read_data_lines(const std::filesystem::path& file) {
  std::ifstream in(file);
  if (!in) {
    throw std::runtime_error("cannot read " + file.string());
  }
  std::vector<std::vector<std::string>> lines;
  std::string line;
  while (std::getline(in, line)) {
    const std::string_view data = std::string_view(line).substr(0, line.find('#'));
    if (trim(data).empty()) {
      continue;
    }
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t end; (end = data.find(';', start)) != std::string_view::npos; start = end + 1) {
      fields.push_back(trim(data.substr(start, end - start)));
    }
    fields.push_back(trim(data.substr(start)));
    lines.push_back(std::move(fields));
  }
  return lines;
}

std::pair<char32_t, char32_t> parse_range(const std::string& field) {
  const auto dots = field.find("..");
  const auto first = static_cast<char32_t>(std::stoul(field.substr(0, dots), nullptr, 16));
  const auto last =
      dots == std::string::npos ? first : static_cast<char32_t>(std::stoul(field.substr(dots + 2), nullptr, 16));
  return {first, last};
}

CodePointSet read_property(const std::filesystem::path& file, std::string_view value) {
  CodePointSet set(code_space_size);
  for (const auto& fields : read_data_lines(file)) {
    if (fields.size() < 2 || fields[1] != value) {
      continue;
    }
    const auto [first, last] = parse_range(fields[0]);
    for (auto cp = first; cp <= last; ++cp) {
      set[cp] = true;
    }
  }
  return set;
}

void UcdTest::SetUp() {
  if (!std::filesystem::is_directory(ucd_dir())) {
    GTEST_SKIP() << "Unicode 17.0.0 data not found at " << ucd_dir() << "; the cross-checks need it";
  }
}

}  // namespace orlenta::test
