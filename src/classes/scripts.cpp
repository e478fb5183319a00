#include "classes/scripts.h"

#include <iterator>

namespace orlenta {
namespace {

using namespace script_data;

static_assert(std::size(script_codes) == script_count);
static_assert(std::size(script_extension_sets[0]) == ScriptSet::word_count);

constexpr auto extension_sets = [] {
  std::array<ScriptSet, std::size(script_extension_sets)> sets{};
  for (std::size_t i = 0; i < sets.size(); ++i) {
    ScriptSet::Words words{};
    for (std::size_t w = 0; w < words.size(); ++w) words[w] = script_extension_sets[i][w];
    sets[i] = ScriptSet(words);
  }
  return sets;
}();

}  // namespace

const ScriptSet& script_extension_set(std::uint8_t extensions) {
  return extension_sets[extensions < extension_sets.size() ? extensions : 0];
}

ScriptSet script_extensions_of(char32_t cp) {
  const ScriptInfo info = script_info(cp);
  return info.extensions() == 0 ? ScriptSet(info.script()) : script_extension_set(info.extensions());
}

std::string_view script_code(Script script) {
  const auto index = static_cast<std::size_t>(script);
  return index < script_count ? script_codes[index] : std::string_view{};
}

std::string_view script_table_version() { return scripts_unicode_version; }

}  // namespace orlenta
