// The Script and Script_Extensions properties of every code point, and the
// word characters (letters, marks, digits, letter numbers and connector
// punctuation) that the homoglyph detector splits text by.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orlenta {

// Every script of the Unicode data, named by its four-letter code
// (Script::Latn, Script::Zyyy for Common, Script::Zinh for Inherited,
// Script::Zzzz for Unknown), in code order.
enum class Script : std::uint8_t {
#include "classes/script_enum.inc"
};

// Unknown sorts last, so it bounds the enumeration.
inline constexpr std::size_t script_count = static_cast<std::size_t>(Script::Zzzz) + 1;

// A set of scripts, one bit per script.
class ScriptSet {
 public:
  static constexpr std::size_t word_count = (script_count + 63) / 64;
  using Words = std::array<std::uint64_t, word_count>;

  constexpr ScriptSet() = default;
  constexpr explicit ScriptSet(const Words& words) : words_(words) {}
  constexpr explicit ScriptSet(Script script) { add(script); }

  constexpr void add(Script script) {
    const auto index = static_cast<std::size_t>(script);
    words_[index / 64] |= std::uint64_t{1} << (index % 64);
  }
  constexpr bool contains(Script script) const {
    const auto index = static_cast<std::size_t>(script);
    return ((words_[index / 64] >> (index % 64)) & 1u) != 0;
  }
  constexpr bool empty() const {
    for (const std::uint64_t word : words_) {
      if (word != 0) return false;
    }
    return true;
  }
  constexpr ScriptSet& operator&=(const ScriptSet& other) {
    for (std::size_t i = 0; i < word_count; ++i) words_[i] &= other.words_[i];
    return *this;
  }
  constexpr ScriptSet& operator|=(const ScriptSet& other) {
    for (std::size_t i = 0; i < word_count; ++i) words_[i] |= other.words_[i];
    return *this;
  }
  constexpr const Words& words() const { return words_; }
  friend constexpr bool operator==(const ScriptSet&, const ScriptSet&) = default;

 private:
  Words words_{};
};

constexpr ScriptSet operator&(ScriptSet a, const ScriptSet& b) { return a &= b; }
constexpr ScriptSet operator|(ScriptSet a, const ScriptSet& b) { return a |= b; }

// What one table read tells about a code point, as the table holds it:
// bits 0-7 the script, bits 8-14 the number of its Script_Extensions set
// when that differs from {script} (0 otherwise, so that the common case
// needs no set at all), bit 15 whether it is a word character. One 16-bit value
// travels in a register, where a record of three fields would be written
// to memory and read back whole.
class ScriptInfo {
 public:
  constexpr ScriptInfo() = default;
  constexpr explicit ScriptInfo(std::uint16_t value) : value_(value) {}
  constexpr ScriptInfo(Script script, bool word_character)
      : value_(static_cast<std::uint16_t>(static_cast<unsigned>(script) | (word_character ? 0x8000u : 0u))) {}

  constexpr Script script() const { return static_cast<Script>(value_ & 0xFFu); }
  constexpr std::uint8_t extensions() const { return static_cast<std::uint8_t>((value_ >> 8) & 0x7Fu); }
  constexpr bool word_character() const { return (value_ & 0x8000u) != 0; }
  friend constexpr bool operator==(ScriptInfo, ScriptInfo) = default;

 private:
  std::uint16_t value_ = 0;
};

namespace script_data {
#include "classes/script_tables.inc"
}  // namespace script_data

// Inline: the scans call it for every code point of a word.
inline ScriptInfo script_info(char32_t cp) {
  using namespace script_data;
  // Code points past U+10FFFF are Unknown, like the unassigned ones.
  if (cp >= 0x110000) return ScriptInfo(Script::Zzzz, false);
  return ScriptInfo(script_values[std::size_t{script_blocks[cp >> script_block_shift]} * script_block_size +
                                  (cp & (script_block_size - 1))]);
}

inline Script script_of(char32_t cp) { return script_info(cp).script(); }

// The Script_Extensions set numbered `extensions` in a ScriptInfo (not 0).
const ScriptSet& script_extension_set(std::uint8_t extensions);

// The Script_Extensions of a code point: its script alone unless the data
// lists more (or other) scripts for it.
ScriptSet script_extensions_of(char32_t cp);

// The four-letter code: "Latn", "Zyyy".
std::string_view script_code(Script script);

// The Unicode version the table was generated from.
std::string_view script_table_version();

}  // namespace orlenta
