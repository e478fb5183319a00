// The Script and Script_Extensions properties of every code point, and the
// word characters (XID_Continue) that the homoglyph detector splits text by.
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

// What one table read tells about a code point. `extensions` numbers its
// Script_Extensions set when that differs from {script}, and is 0 otherwise,
// so that the common case needs no set at all.
struct ScriptInfo {
  Script script;
  std::uint8_t extensions;
  bool word_character;
};

ScriptInfo script_info(char32_t cp);

inline Script script_of(char32_t cp) { return script_info(cp).script; }

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
