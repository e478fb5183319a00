// What real prose of each script does, measured on the UDHR corpus
// (tools/script_baselines.py): the most marks one base carries, and the
// highest character entropy of a window of its text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "classes/scripts.h"

namespace orlenta::detect {

struct ScriptBaseline {
  Script script;
  std::uint8_t mark_limit;
  float entropy;  // bits; 0 when no window of the script was measured
};

#include "detect/script_baselines.inc"

// The most marks one base of the script carries in its orthography.
unsigned mark_limit(Script script);

// The highest entropy of a window of the script's prose, when measured.
std::optional<double> entropy_baseline(Script script);

}  // namespace orlenta::detect
