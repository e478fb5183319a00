#include "code_point_offsets.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "text/utf8.h"

namespace orlenta::detect {

void to_code_point_offsets(std::string_view text, std::vector<Finding>& findings) {
  if (findings.empty()) return;
  std::vector<std::size_t> bytes;
  bytes.reserve(2 * findings.size());
  for (const Finding& finding : findings) {
    bytes.push_back(finding.start);
    bytes.push_back(finding.end);
  }
  std::sort(bytes.begin(), bytes.end());
  bytes.erase(std::unique(bytes.begin(), bytes.end()), bytes.end());
  // Counted gap by gap, so that the text is read once in all.
  std::vector<std::size_t> code_points(bytes.size());
  std::size_t previous = 0;
  std::uint64_t count = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::size_t offset = std::min(bytes[i], text.size());
    count += count_code_points(text.substr(previous, offset - previous));
    previous = offset;
    code_points[i] = static_cast<std::size_t>(count);
  }
  const auto convert = [&](std::size_t byte) {
    const auto found = std::lower_bound(bytes.begin(), bytes.end(), byte);
    return code_points[static_cast<std::size_t>(found - bytes.begin())];
  };
  for (Finding& finding : findings) {
    finding.start = convert(finding.start);
    finding.end = convert(finding.end);
  }
}

}  // namespace orlenta::detect
