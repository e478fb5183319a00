#include "policy/policy.h"

namespace orlenta {

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

std::optional<ResolvedPolicy> get_policy(std::string_view name) { return resolve_policy(registry(), name); }

}  // namespace orlenta
