#include "report/report.h"

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
  char detail[max_code_point_detail];
  return std::string(detail, write_code_point_detail(detail, cp));
}

}  // namespace orlenta
