#include "policy/policy.h"

#include <utility>
#include <vector>

namespace orlenta {
namespace {

struct NamedPolicy {
  std::string_view name;
  ResolvedPolicy policy;
};

// Every alias and preset name of the process-wide registry that resolves,
// with its policy. Every sanitize call looks its policy up here: the
// registry has a handful of names, so comparing them in turn costs less
// than hashing the name twice and building the policy anew.
std::vector<NamedPolicy> resolve_every_name() {
  const PolicyRegistry& names = registry();
  std::vector<NamedPolicy> resolved;
  const auto add = [&](std::string_view name) {
    if (std::optional<ResolvedPolicy> policy = resolve_policy(names, name)) resolved.push_back({name, *policy});
  };
  for (const auto& alias : names.aliases) add(alias.first);
  for (const auto& preset : names.presets) {
    if (!names.aliases.contains(preset.first)) add(preset.first);
  }
  return resolved;
}

}  // namespace

std::string_view form_name(NormalizationForm form) { return form == NormalizationForm::nfkc ? "NFKC" : "NFC"; }

std::optional<NormalizationForm> form_from_name(std::string_view name) {
  if (name == "NFC") return NormalizationForm::nfc;
  if (name == "NFKC") return NormalizationForm::nfkc;
  return std::nullopt;
}

std::optional<ResolvedPolicy> resolve_policy(const PolicyRegistry& registry, std::string_view name) {
  // One alias step only: an alias naming another alias finds nothing unless
  // that name is also a preset.
  if (const auto alias = registry.aliases.find(name); alias != registry.aliases.end()) name = alias->second;
  const auto preset = registry.presets.find(name);
  if (preset == registry.presets.end()) return std::nullopt;

  const PolicySpec& spec = preset->second;
  const std::optional<NormalizationForm> form = form_from_name(spec.normalization);
  if (!form) return std::nullopt;
  return ResolvedPolicy{
      .name = preset->first,
      .normalization = *form,
      .remove_bidi = spec.remove_bidi,
      .remove_bidi_marks = spec.remove_bidi_marks,
      .flag_bidi_marks = spec.flag_bidi_marks,
      .remove_tag_chars = spec.remove_tag_chars,
      .cap_variation_selectors = spec.cap_variation_selectors,
      .remove_junk_invisibles = spec.remove_junk_invisibles,
      .remove_other_controls = spec.remove_other_controls,
      .remove_default_ignorables = spec.remove_default_ignorables,
      .tidy_whitespace = spec.tidy_whitespace,
      .flag_default_ignorables = spec.flag_default_ignorables,
      .flag_base64ish = spec.flag_base64ish,
      .flag_combining_abuse = spec.flag_combining_abuse,
      .signals = registry.signals,
  };
}

const ResolvedPolicy* find_policy(std::string_view name) {
  // Built once even when threads race on the first call, as the registry is.
  static const std::vector<NamedPolicy> POLICIES = resolve_every_name();
  for (const NamedPolicy& entry : POLICIES) {
    if (entry.name == name) return &entry.policy;
  }
  return nullptr;
}

std::optional<ResolvedPolicy> get_policy(std::string_view name) {
  const ResolvedPolicy* policy = find_policy(name);
  if (policy == nullptr) return std::nullopt;
  return *policy;
}

}  // namespace orlenta
