// What a detector reports: a kind, where it stands in the text, and the
// evidence that made it a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace orlenta::detect {

enum class FindingKind : std::uint8_t {
  encoded_payload,
  unusual_entropy,
  combining_abuse,
  zalgo,
  joiner_out_of_context,
  zero_width_run,
  mixed_script,
  confusable,
};

// The kind's name as orlenta.analyze reports it: "encoded_payload", ...
std::string_view finding_kind_name(FindingKind kind);

using EvidenceValue = std::variant<std::int64_t, double, std::string>;

// The keys are string literals, short and stable: callers match on them.
struct EvidenceField {
  std::string_view key;
  EvidenceValue value;
};

// [start, end): byte offsets into the UTF-8 text while the detectors run,
// code point offsets once analyze() returns the finding.
struct Finding {
  FindingKind kind;
  std::size_t start;
  std::size_t end;
  std::vector<EvidenceField> evidence;
};

// Once this many findings are held, a further one stretches the latest of
// its kind instead of being added: a hostile text of millions of tiny
// findings would otherwise cost many times its size in records, and one
// finding that covers the rest still says where to look.
inline constexpr std::size_t max_findings = 10'000;

// Appends `finding` (or stretches the latest of its kind, past
// max_findings) and returns the index of the finding that now covers it.
std::size_t add_finding(std::vector<Finding>& found, Finding&& finding);

// The order analyze() reports findings in: by start, then end, then kind.
void sort_findings(std::vector<Finding>& findings);

}  // namespace orlenta::detect
