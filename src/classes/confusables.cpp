#include "classes/confusables.h"

#include <algorithm>
#include <iterator>

#include "normkit/normalize.h"

namespace orlenta {
namespace {

#include "classes/confusables.inc"

constexpr ScriptSet recommended_set = [] {
  ScriptSet set;
  for (const Script script : recommended_script_list) set.add(script);
  return set;
}();

}  // namespace

std::u32string_view confusable_prototype(char32_t cp) {
  const auto before = [](const ConfusablePrototype& row, char32_t wanted) { return row.source < wanted; };
  const auto* found = std::lower_bound(std::begin(confusable_prototypes), std::end(confusable_prototypes), cp, before);
  if (found == std::end(confusable_prototypes) || found->source != cp) return {};
  return {confusable_pool + found->offset, found->length};
}

std::span<const ConfusablePrototype> confusable_prototype_table() { return confusable_prototypes; }

bool confusable_skeleton(std::u32string_view cps, std::u32string& out, std::size_t limit) {
  std::u32string decomposed;
  normkit::decompose_canonical(cps, decomposed);
  if (decomposed.size() > limit) return false;
  std::u32string mapped;
  mapped.reserve(decomposed.size());
  for (const char32_t cp : decomposed) {
    const std::u32string_view prototype = confusable_prototype(cp);
    if (prototype.empty()) {
      mapped.push_back(cp);
    } else {
      mapped.append(prototype);
    }
    if (mapped.size() > limit) return false;
  }
  const std::size_t start = out.size();
  normkit::decompose_canonical(mapped, out);
  return out.size() - start <= limit;
}

const ScriptSet& recommended_scripts() { return recommended_set; }

std::string_view confusables_table_version() { return confusables_unicode_version; }

}  // namespace orlenta
