// What the removal pass does with a code point that needs a decision, as a
// function of the policy and of the classes the code point is in.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "classes/code_point_classes.h"
#include "passes/decision_filter.h"
#include "policy/policy.h"

namespace orlenta {

// The pass's reasons, in the order of removal_reason_names.
enum Reason : std::uint8_t {
  bidi_control,
  bidi_mark,
  carriage_return,
  control_or_format,
  default_ignorable,
  invalid_variation_selector,
  junk_invisible,
  line_separator,
  tag_char,
  variation_selector_excess,
  reason_count,
};

// What the pass does with one decided code point. Only the variation
// selectors and the waving black flag look at the text around them.
enum class Step : std::uint8_t {
  remove,                    // removed under the action's reason, nothing else counted
  remove_default_ignorable,  // removed and counted among the default-ignorables
  decide_variation_selector,
  retain,
  flag,                      // flagged under the action's reason and retained
  count_retained_tag,        // retained; a flagged tag leaves no span event
  retain_and_look_for_flag_tags,
};

struct RemovalAction {
  Step step = Step::retain;
  Reason reason = reason_count;
  friend bool operator==(const RemovalAction&, const RemovalAction&) = default;
};

// The chain of tests that decides a code point that needs a decision; the
// first matching test decides.
constexpr RemovalAction removal_action(char32_t cp, const ResolvedPolicy& policy) {
  // Variation selectors, which chat and hostile text are full of, are in no
  // class the chain tests before theirs.
  if (policy.cap_variation_selectors && is_variation_selector(cp)) return {Step::decide_variation_selector};
  // The code points below U+00A0 that are decided, the C0 and C1 controls
  // and DEL, are in no class but carriage_return and control_or_format, and
  // start no flag tags; tags are in no class the chain tests before them.
  if (cp < 0xA0) {
    if (is_carriage_return(cp)) return {Step::remove, carriage_return};
    return policy.remove_other_controls ? RemovalAction{Step::remove, control_or_format} : RemovalAction{Step::retain};
  }
  if (is_tag_character(cp)) {
    return policy.remove_tag_chars ? RemovalAction{Step::remove, tag_char} : RemovalAction{Step::count_retained_tag};
  }
  // The joiners are in no class the chain tests before default_ignorable,
  // where they are never flagged, and they start no flag tags.
  if (is_joiner(cp)) {
    return policy.remove_default_ignorables ? RemovalAction{Step::remove_default_ignorable} : RemovalAction{Step::retain};
  }
  if (is_line_separator(cp)) return {Step::remove, line_separator};
  if (policy.remove_bidi && is_bidi_control(cp)) return {Step::remove, bidi_control};
  if (is_bidi_mark(cp)) {
    if (policy.remove_bidi_marks) return {Step::remove, bidi_mark};
    return policy.flag_bidi_marks ? RemovalAction{Step::flag, bidi_mark} : RemovalAction{Step::retain};
  }
  if (policy.remove_junk_invisibles && is_junk_invisible(cp)) return {Step::remove, junk_invisible};
  if (policy.remove_other_controls && is_control_or_format(cp)) return {Step::remove, control_or_format};
  if (policy.remove_default_ignorables && is_default_ignorable(cp)) return {Step::remove_default_ignorable};
  if (policy.flag_default_ignorables && is_default_ignorable(cp) && !is_joiner(cp)) {
    return {Step::flag, default_ignorable};
  }
  return {Step::retain_and_look_for_flag_tags};
}

// What retaining a code point does to the selector state, the walk's note
// that the last retained code point that is not a non-selector
// default-ignorable was a variation selector.
struct SelectorEffect {
  // A default-ignorable that is no variation selector leaves it as it is.
  bool keeps = false;
  // A variation selector sets it.
  bool sets = false;
  friend bool operator==(const SelectorEffect&, const SelectorEffect&) = default;
};

constexpr SelectorEffect selector_effect(char32_t cp) {
  const bool selector = is_variation_selector(cp);
  return {!selector && is_default_ignorable(cp), selector};
}

// The action of a code point with its selector effect, which the walk loads
// with the action rather than learning it by range tests at every retained
// decision: chat retains its joiners and selectors in random turns.
struct ClassAction {
  RemovalAction action;
  SelectorEffect effect;
  friend bool operator==(const ClassAction&, const ClassAction&) = default;
};

constexpr ClassAction class_action(char32_t cp, const ResolvedPolicy& policy) {
  return {removal_action(cp, policy), selector_effect(cp)};
}

// The classes that removal_action tests, one bit each, for a code point that
// needs a decision; 0 for any other. Code points with the same bits get the
// same action under every policy.
constexpr std::uint16_t decision_signature(char32_t cp) {
  if (!needs_decision(cp)) return 0;
  const bool bits[] = {true,
                       is_variation_selector(cp),
                       cp < 0xA0,
                       is_carriage_return(cp),
                       is_tag_character(cp),
                       is_joiner(cp),
                       is_line_separator(cp),
                       is_bidi_control(cp),
                       is_bidi_mark(cp),
                       is_junk_invisible(cp),
                       is_control_or_format(cp),
                       is_default_ignorable(cp)};
  std::uint16_t signature = 0;
  for (std::size_t bit = 0; bit < std::size(bits); ++bit) signature |= static_cast<std::uint16_t>(bits[bit]) << bit;
  return signature;
}

namespace decision_class_detail {

// The 256-code-point blocks that hold code points that need a decision;
// U+E0300..E0FFF are all alike, unassigned default-ignorables, and share the
// table of U+E0200..E02FF. Everything after them is never decided.
inline constexpr std::array<char32_t, 16> decided_blocks = {0x00,  0x03,  0x06,  0x11,  0x17,  0x18,  0x20,  0x31,
                                                            0xFE,  0xFF,  0x1BC, 0x1D1, 0x1F3, 0xE00, 0xE01, 0xE02};
inline constexpr char32_t last_decided_block = 0xE0F;
inline constexpr std::size_t max_classes = 32;

struct Tables {
  // Block number + 1 in `classes` for each block up to last_decided_block,
  // and 0 (a table of class 0) for the rest and past it.
  std::array<std::uint8_t, last_decided_block + 2> stage1{};
  std::array<std::array<std::uint8_t, 256>, decided_blocks.size() + 1> classes{};
  std::array<std::uint16_t, max_classes> signatures{};
  // The first code point of each class.
  std::array<char32_t, max_classes> representatives{};
  std::size_t class_count = 1;
};

constexpr Tables build_tables() {
  Tables tables;
  for (std::size_t block = 0; block < decided_blocks.size(); ++block) {
    for (char32_t low = 0; low < 256; ++low) {
      const std::uint16_t signature = decision_signature((decided_blocks[block] << 8) | low);
      std::size_t id = 0;
      while (id < tables.class_count && tables.signatures[id] != signature) ++id;
      if (id == tables.class_count) {
        tables.signatures[id] = signature;
        tables.representatives[id] = (decided_blocks[block] << 8) | low;
        ++tables.class_count;
      }
      tables.classes[block + 1][low] = static_cast<std::uint8_t>(id);
    }
    tables.stage1[decided_blocks[block]] = static_cast<std::uint8_t>(block + 1);
  }
  for (char32_t block = 0xE03; block <= last_decided_block; ++block) {
    tables.stage1[block] = static_cast<std::uint8_t>(decided_blocks.size());
  }
  return tables;
}

inline constexpr Tables tables = build_tables();

}  // namespace decision_class_detail

// Number of distinct decision classes, the first of which holds the code
// points that need no decision.
inline constexpr std::size_t decision_class_count = decision_class_detail::tables.class_count;

// The signature of a class.
constexpr std::uint16_t decision_class_signature(std::size_t id) { return decision_class_detail::tables.signatures[id]; }

// A small number that is the same for two code points exactly when their
// decision_signature is; two table lookups.
inline std::uint8_t decision_class(char32_t cp) {
  using namespace decision_class_detail;
  const char32_t block = std::min<char32_t>(cp >> 8, last_decided_block + 1);
  return tables.classes[tables.stage1[block]][cp & 0xFF];
}

// The switches of a policy that removal_action reads, one bit each.
inline constexpr unsigned removal_switch_settings = 1u << 9;

constexpr unsigned removal_switches(const ResolvedPolicy& policy) {
  const bool switches[] = {policy.remove_bidi,           policy.remove_bidi_marks,       policy.flag_bidi_marks,
                           policy.remove_tag_chars,      policy.cap_variation_selectors, policy.remove_junk_invisibles,
                           policy.remove_other_controls, policy.remove_default_ignorables, policy.flag_default_ignorables};
  unsigned setting = 0;
  for (unsigned bit = 0; bit < std::size(switches); ++bit) setting |= static_cast<unsigned>(switches[bit]) << bit;
  return setting;
}

// A policy with the given switches and every other field at its default.
constexpr ResolvedPolicy with_removal_switches(unsigned setting) {
  ResolvedPolicy policy;
  bool* const switches[] = {&policy.remove_bidi,           &policy.remove_bidi_marks,
                            &policy.flag_bidi_marks,       &policy.remove_tag_chars,
                            &policy.cap_variation_selectors, &policy.remove_junk_invisibles,
                            &policy.remove_other_controls, &policy.remove_default_ignorables,
                            &policy.flag_default_ignorables};
  for (unsigned bit = 0; bit < std::size(switches); ++bit) *switches[bit] = ((setting >> bit) & 1) != 0;
  return policy;
}

using ClassActions = std::array<ClassAction, decision_class_count>;

namespace decision_class_detail {

constexpr std::array<ClassActions, removal_switch_settings> build_actions() {
  std::array<ClassActions, removal_switch_settings> actions{};
  for (unsigned setting = 0; setting < removal_switch_settings; ++setting) {
    const ResolvedPolicy policy = with_removal_switches(setting);
    for (std::size_t id = 1; id < decision_class_count; ++id) {
      actions[setting][id] = class_action(tables.representatives[id], policy);
    }
  }
  return actions;
}

inline constexpr std::array<ClassActions, removal_switch_settings> actions = build_actions();

}  // namespace decision_class_detail

// The action of every decision class under the policy: a text decides the
// same few kinds of code point over and over, and the chain of tests, which
// hostile text sends either way at random, is run for each class and every
// setting of the switches at compile time.
inline const ClassActions& class_actions(const ResolvedPolicy& policy) {
  return decision_class_detail::actions[removal_switches(policy)];
}

// The code point at `p`, valid UTF-8, and its length in bytes, read from the
// four bytes at `p`, which must all be readable, without a branch on its
// length: the decided code points of hostile text come in every length at
// random.
inline char32_t decode_from_four_bytes(const char* p, std::size_t& length) {
  const auto lead = static_cast<unsigned char>(p[0]);
  length = 1 + std::size_t{lead >= 0xC0} + std::size_t{lead >= 0xE0} + std::size_t{lead >= 0xF0};
  std::uint32_t word = 0;
  std::memcpy(&word, p, sizeof word);
  if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap32(word);
  // The code point's bytes, the lead highest, without the marker bits of the
  // lead and of the continuation bytes.
  static constexpr std::array<std::uint32_t, 5> value_bits = {0, 0x7F, 0x1F3F, 0x0F3F3F, 0x073F3F3F};
  const std::uint32_t bytes = (word >> (32 - 8 * length)) & value_bits[length];
  const char32_t joined = (bytes & 0x3F) | ((bytes >> 2) & 0xFC0) | ((bytes >> 4) & 0x3F000) | ((bytes >> 6) & 0x1C0000);
  return length == 1 ? char32_t{lead} : joined;
}

}  // namespace orlenta
