#include "classes/variation_sequences.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace orlenta {
namespace {

#include "classes/variation_sequences.inc"

// A pair as one number that sorts as the table does: by base, then by
// selector.
constexpr std::uint64_t key(char32_t base, char32_t selector) { return (std::uint64_t{base} << 32) | selector; }

constexpr auto sorted_keys = [] {
  std::array<std::uint64_t, std::size(variation_sequences)> keys{};
  for (std::size_t i = 0; i < keys.size(); ++i) keys[i] = key(variation_sequences[i].base, variation_sequences[i].selector);
  return keys;
}();

static_assert(!sorted_keys.empty());

}  // namespace

std::span<const VariationSequence> variation_sequence_table() { return variation_sequences; }

std::string_view variation_sequence_table_version() { return variation_sequences_unicode_version; }

// The bisection halves the range without branching on the comparison: the
// bases that text puts before selectors come in no order that a branch
// predictor could learn, and a mispredicted probe costs more than the
// probe.
bool is_variation_sequence(char32_t base, char32_t selector) {
  const std::uint64_t wanted = key(base, selector);
  const std::uint64_t* first = sorted_keys.data();
  std::size_t length = sorted_keys.size();
  while (length > 1) {
    const std::size_t half = length / 2;
    first = first[half] <= wanted ? first + half : first;
    length -= half;
  }
  return *first == wanted;
}

}  // namespace orlenta
