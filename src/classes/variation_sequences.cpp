#include "classes/variation_sequences.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace orlenta {
namespace {

#include "classes/variation_sequences.inc"

constexpr bool precedes(const VariationSequence& a, const VariationSequence& b) {
  return a.base != b.base ? a.base < b.base : a.selector < b.selector;
}

// The bases that text sends selectors after most, symbols and emoji, with
// the standard selectors U+FE00..FE0F: for each, the mask of the selectors
// it takes, in pages of 256 code points, so that one lookup answers what a
// bisection needs a dozen dependent probes for. The Han ideographs and the
// Mongolian letters (U+1800..18FF, with their own selectors), the only other
// bases, are bisected.
constexpr bool has_mask(char32_t base) {
  return (base < 0x3400 && (base < 0x1800 || base > 0x18FF)) || (base >= 0x1F000 && base <= 0x1FFFF);
}

constexpr bool is_standard_selector(char32_t selector) { return selector >= 0xFE00 && selector <= 0xFE0F; }

constexpr std::size_t page_shift = 8;
constexpr std::size_t page_size = std::size_t{1} << page_shift;
constexpr std::size_t page_count = 0x20000 >> page_shift;

constexpr std::size_t pages_with_masks() {
  std::array<bool, page_count> used{};
  std::size_t count = 0;
  for (const VariationSequence& row : variation_sequences) {
    if (!has_mask(row.base)) continue;
    if (!used[row.base >> page_shift]) ++count;
    used[row.base >> page_shift] = true;
  }
  return count;
}

// Page 0 is empty: the pages without bases share it.
struct SelectorMasks {
  std::array<std::uint8_t, page_count> page_of{};
  std::array<std::array<std::uint16_t, page_size>, 1 + pages_with_masks()> pages{};
};

static_assert(1 + pages_with_masks() <= 256, "page numbers are bytes");

constexpr bool masked_bases_take_only_standard_selectors() {
  for (const VariationSequence& row : variation_sequences) {
    if (has_mask(row.base) && !is_standard_selector(row.selector)) return false;
  }
  return true;
}

static_assert(masked_bases_take_only_standard_selectors());

constexpr SelectorMasks selector_masks = [] {
  SelectorMasks masks;
  std::size_t next_page = 1;
  for (const VariationSequence& row : variation_sequences) {
    if (!has_mask(row.base)) continue;
    std::uint8_t& page = masks.page_of[row.base >> page_shift];
    if (page == 0) page = static_cast<std::uint8_t>(next_page++);
    masks.pages[page][row.base & (page_size - 1)] |= static_cast<std::uint16_t>(1u << (row.selector - 0xFE00));
  }
  return masks;
}();

}  // namespace

std::span<const VariationSequence> variation_sequence_table() { return variation_sequences; }

std::string_view variation_sequence_table_version() { return variation_sequences_unicode_version; }

bool is_variation_sequence(char32_t base, char32_t selector) {
  if (has_mask(base)) {
    if (!is_standard_selector(selector)) return false;
    const std::uint16_t mask = selector_masks.pages[selector_masks.page_of[base >> page_shift]][base & (page_size - 1)];
    return ((mask >> (selector - 0xFE00)) & 1) != 0;
  }
  const VariationSequence wanted{base, selector};
  return std::binary_search(std::begin(variation_sequences), std::end(variation_sequences), wanted, precedes);
}

}  // namespace orlenta
