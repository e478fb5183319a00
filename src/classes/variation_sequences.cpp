#include "classes/variation_sequences.h"

#include <algorithm>

namespace orlenta {
namespace {

#include "classes/variation_sequences.inc"

constexpr bool precedes(const VariationSequence& a, const VariationSequence& b) {
  return a.base != b.base ? a.base < b.base : a.selector < b.selector;
}

}  // namespace

std::span<const VariationSequence> variation_sequence_table() { return variation_sequences; }

std::string_view variation_sequence_table_version() { return variation_sequences_unicode_version; }

bool is_variation_sequence(char32_t base, char32_t selector) {
  const VariationSequence wanted{base, selector};
  return std::binary_search(std::begin(variation_sequences), std::end(variation_sequences), wanted, precedes);
}

}  // namespace orlenta
