// The scan behind `orlenta check`: every code point of a file that the
// removal pass would remove or flag, located in the file as it is on disk.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "passes/removal_pass.h"
#include "policy/policy.h"

namespace orlenta {

enum class FindingKind : std::uint8_t { removed, flagged, not_utf8, not_normalized };

inline constexpr std::array<std::string_view, 4> finding_kind_names = {"removed", "flagged", "not_utf8",
                                                                       "not_normalized"};

// The reasons of the removal pass, then those of the two file-level kinds.
inline constexpr auto finding_reason_names = [] {
  std::array<std::string_view, removal_reason_names.size() + 2> names{};
  std::copy(removal_reason_names.begin(), removal_reason_names.end(), names.begin());
  names[removal_reason_names.size()] = "not_utf8";
  names[removal_reason_names.size() + 1] = "not_normalized";
  return names;
}();

// One finding. The layout is fixed (32 bytes, no hidden padding) because the
// Python side reads the records as they lie in memory.
struct ScanFinding {
  std::uint64_t byte_offset = 0;
  // 1-based; lines end at line feeds.
  std::uint64_t line = 0;
  // 1-based, in code points.
  std::uint64_t column = 0;
  // For not_utf8, the byte that starts no well-formed sequence.
  std::uint32_t code_point = 0;
  // An index into finding_reason_names.
  std::uint8_t reason = 0;
  FindingKind kind = FindingKind::removed;
  std::array<std::uint8_t, 2> padding{};
};
static_assert(sizeof(ScanFinding) == 32);

struct ScanOptions {
  // Also report the carriage return that ends a CR LF line ending.
  bool strict_newlines = false;
  // Add one not_normalized finding, at the first code point that the
  // policy's normalization changes, when it would change the file.
  bool check_normalization = false;
};

// The findings of `bytes` under `policy`, in file order, with no limit on
// their number. Bytes that are not UTF-8 give the one not_utf8 finding at
// the first bad byte and nothing else. Besides the findings, the scan holds
// at most one stretch of the file of some 64 KiB at a time, however long the
// file.
std::vector<ScanFinding> scan_file(std::string_view bytes, const ResolvedPolicy& policy, const ScanOptions& options);

}  // namespace orlenta
