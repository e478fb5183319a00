#include "report/report.h"

#include <array>

namespace orlenta {

void bump(CountMap& counts, std::string_view reason, std::uint64_t n) {
  auto& entries = counts.entries;
  auto entry = entries.begin();
  while (entry != entries.end() && entry->first < reason) ++entry;
  if (entry == entries.end() || entry->first != reason) entry = entries.emplace(entry, reason, 0);
  entry->second += n;
}

void bump_removed(SanitizeReport& report, std::string_view reason, std::uint64_t n) {
  bump(report.removed_counts, reason, n);
}

void bump_flagged(SanitizeReport& report, std::string_view reason, std::uint64_t n) {
  bump(report.flagged_counts, reason, n);
}

std::string code_point_detail(char32_t cp) {
  constexpr std::array<char, 16> hex_digits = {'0', '1', '2', '3', '4', '5', '6', '7',
                                               '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};
  const auto value = static_cast<std::uint32_t>(cp);
  std::size_t digits = 4;
  while (digits < 8 && (value >> (4 * digits)) != 0) ++digits;
  std::string detail(2 + digits, '0');  // at most "U+" and eight digits: no allocation
  detail[0] = 'U';
  detail[1] = '+';
  for (std::size_t i = 0; i < digits; ++i) detail[detail.size() - 1 - i] = hex_digits[(value >> (4 * i)) & 0xF];
  return detail;
}

}  // namespace orlenta
