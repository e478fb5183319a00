// Lookups in run tables: a property held as the runs of equal values that
// tile the code space (tools/code_point_runs.py writes them). The small
// properties that are read only at a few candidate code points are kept
// this way: four bytes a run, and a bisection of about ten probes a lookup.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

namespace orlenta {

// The value of the run that holds `cp`: entry i of `runs` is (first code
// point of a run << 8) | value, sorted, the first entry at U+0000.
inline std::uint8_t run_value(std::span<const std::uint32_t> runs, char32_t cp) {
  const auto after = std::upper_bound(runs.begin(), runs.end(), (std::uint32_t{cp} << 8) | 0xFFu);
  return static_cast<std::uint8_t>(after[-1] & 0xFFu);
}

}  // namespace orlenta
