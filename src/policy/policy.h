// Named sanitization policies: the built-in registry document, its records
// and the lookup of a policy by preset name or alias.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "base/outcome.h"
#include "normkit/normalize.h"

namespace orlenta {

// The normalization library's own form type: the pipeline hands it through.
using NormalizationForm = normkit::Form;

// "NFC" or "NFKC".
std::string_view form_name(NormalizationForm form);

// The form named exactly "NFC" or "NFKC" (no case folding); nullopt otherwise.
std::optional<NormalizationForm> form_from_name(std::string_view name);

// Thresholds of the content signals, one set for every preset.
struct SignalSpec {
  std::uint64_t entropy_prefix_chars = 0;
  double entropy_prefix_threshold = 0.0;
  std::uint64_t entropy_prefix_min_chars = 0;
  std::uint64_t base64_min_chars = 0;
  double combining_ratio_threshold = 0.0;
  std::uint64_t combining_min_chars = 0;

  friend bool operator==(const SignalSpec&, const SignalSpec&) = default;
};

// The reader leaves a missing remove_bidi_marks, flag_bidi_marks,
// remove_tag_chars or cap_variation_selectors at its member default here;
// every other field must be present in a document.
struct PolicySpec {
  std::string normalization;
  bool remove_bidi = false;
  bool remove_bidi_marks = false;
  bool flag_bidi_marks = true;
  bool remove_tag_chars = true;
  bool cap_variation_selectors = false;
  bool remove_junk_invisibles = false;
  bool remove_other_controls = false;
  bool remove_default_ignorables = false;
  bool tidy_whitespace = false;
  bool flag_default_ignorables = false;
  bool flag_base64ish = false;
  bool flag_combining_abuse = false;

  friend bool operator==(const PolicySpec&, const PolicySpec&) = default;
};

// Hashes std::string keys and std::string_view probes alike, so that a name
// is looked up without first being copied into a std::string.
struct StringKeyHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view key) const noexcept { return std::hash<std::string_view>{}(key); }
};

template <class Value>
using StringMap = std::unordered_map<std::string, Value, StringKeyHash, std::equal_to<>>;

struct PolicyRegistry {
  SignalSpec signals;
  StringMap<std::string> aliases;
  StringMap<PolicySpec> presets;
};

// One preset after alias resolution, with the thresholds of the signals.
// The name views the registry's own copy of the preset name.
struct ResolvedPolicy {
  std::string_view name;
  NormalizationForm normalization = NormalizationForm::nfc;
  bool remove_bidi = false;
  bool remove_bidi_marks = false;
  bool flag_bidi_marks = false;
  bool remove_tag_chars = false;
  bool cap_variation_selectors = false;
  bool remove_junk_invisibles = false;
  bool remove_other_controls = false;
  bool remove_default_ignorables = false;
  bool tidy_whitespace = false;
  bool flag_default_ignorables = false;
  bool flag_base64ish = false;
  bool flag_combining_abuse = false;
  // The registry's signal thresholds, which every preset shares.
  SignalSpec signals;

  friend bool operator==(const ResolvedPolicy&, const ResolvedPolicy&) = default;
};

// Reads a registry document. The error is the reader's message.
Outcome<PolicyRegistry> read_registry(std::string_view json_text);

// The process-wide registry, read from the built-in document on first use
// (thread-safe). Throws InternalFault if the built-in document is unreadable.
const PolicyRegistry& registry();

// Resolves a preset name or alias in `registry`: an alias is replaced by its
// target once, then the name must be a preset whose normalization is exactly
// "NFC" or "NFKC". Comparisons are byte for byte. nullopt when no usable
// preset has that name.
std::optional<ResolvedPolicy> resolve_policy(const PolicyRegistry& registry, std::string_view name);

// resolve_policy against the process-wide registry.
std::optional<ResolvedPolicy> get_policy(std::string_view name);

// The same policy, worked out once per name for the life of the process;
// nullptr when get_policy finds none.
const ResolvedPolicy* find_policy(std::string_view name);

}  // namespace orlenta
