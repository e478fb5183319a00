// The confusable prototypes of the Unicode security data, the skeleton built
// from them, and the scripts recommended for identifiers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "classes/scripts.h"

namespace orlenta {

struct ConfusablePrototype {
  char32_t source;
  std::uint16_t offset;  // into the pool of prototype code points
  std::uint8_t length;
};

// What `cp` is visually confusable with, or an empty view when it is its own
// prototype.
std::u32string_view confusable_prototype(char32_t cp);

// Every code point that has a prototype, sorted by code point.
std::span<const ConfusablePrototype> confusable_prototype_table();

// Appends the confusable skeleton of `cps` to `out`: the canonical
// decomposition, every code point replaced by its prototype, decomposed
// again. Two strings that look alike have the same skeleton. Returns false,
// and stops early, once the skeleton is known to be longer than `limit` code
// points: no step shortens the text, so no intermediate result can exceed
// the final one.
bool confusable_skeleton(std::u32string_view cps, std::u32string& out, std::size_t limit);

// The scripts in modern customary use that identifiers are recommended to be
// written in (Latin, Cyrillic, Arabic, Han, Devanagari, ...).
const ScriptSet& recommended_scripts();

// The Unicode version the table was generated from.
std::string_view confusables_table_version();

}  // namespace orlenta
