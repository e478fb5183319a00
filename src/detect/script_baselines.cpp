#include "script_baselines.h"

#include <array>

namespace orlenta::detect {
namespace {

constexpr std::array<ScriptBaseline, script_count> baselines_by_script = [] {
  std::array<ScriptBaseline, script_count> table{};
  for (std::size_t i = 0; i < script_count; ++i) {
    table[i] = {static_cast<Script>(i), static_cast<std::uint8_t>(min_mark_limit), 0.0f};
  }
  for (const ScriptBaseline& row : script_baseline_rows) table[static_cast<std::size_t>(row.script)] = row;
  return table;
}();

}  // namespace

unsigned mark_limit(Script script) { return baselines_by_script[static_cast<std::size_t>(script)].mark_limit; }

std::optional<double> entropy_baseline(Script script) {
  const float entropy = baselines_by_script[static_cast<std::size_t>(script)].entropy;
  if (entropy == 0.0f) return std::nullopt;
  return entropy;
}

}  // namespace orlenta::detect
