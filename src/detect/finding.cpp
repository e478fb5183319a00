#include "finding.h"

#include <algorithm>
#include <utility>
#include <tuple>

namespace orlenta::detect {

std::string_view finding_kind_name(FindingKind kind) {
  switch (kind) {
    case FindingKind::encoded_payload: return "encoded_payload";
    case FindingKind::unusual_entropy: return "unusual_entropy";
    case FindingKind::combining_abuse: return "combining_abuse";
    case FindingKind::zalgo: return "zalgo";
    case FindingKind::joiner_out_of_context: return "joiner_out_of_context";
    case FindingKind::zero_width_run: return "zero_width_run";
    case FindingKind::mixed_script: return "mixed_script";
    case FindingKind::confusable: return "confusable";
  }
  return "unknown";
}

std::size_t add_finding(std::vector<Finding>& found, Finding&& finding) {
  if (found.size() >= max_findings) {
    // A detector reports one or two kinds, so the latest of its kind is
    // among the last few.
    constexpr std::size_t looked_back = 8;
    for (std::size_t i = found.size(); i > found.size() - looked_back; --i) {
      Finding& latest = found[i - 1];
      if (latest.kind != finding.kind) continue;
      latest.end = std::max(latest.end, finding.end);
      return i - 1;
    }
  }
  found.push_back(std::move(finding));
  return found.size() - 1;
}

void sort_findings(std::vector<Finding>& findings) {
  std::sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
    return std::tie(a.start, a.end, a.kind) < std::tie(b.start, b.end, b.kind);
  });
}

}  // namespace orlenta::detect
