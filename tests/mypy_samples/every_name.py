"""Uses every public name and every report key; mypy --strict must accept it, and it must run."""

import orlenta
from orlenta import (
    CodePointRisk,
    NormalizationForm,
    PolicyName,
    PresetName,
    Reason,
    SanitizeReport,
    SanitizeStats,
    SpanEvent,
    SpanKind,
    SpanReason,
    encoded_codepoint_risk,
    is_identifier_decoration,
    normalize_for_skeleton,
    sanitize,
    sanitize_iter,
    sanitize_many,
)

policy: PolicyName = "strict"
text, report = sanitize("x\u200by", policy, "NFKC", tidy_whitespace=True, return_spans=True)
typed_report: SanitizeReport = report
version: int = report["report_version"]
preset: PresetName = report["policy"]
form: NormalizationForm = report["normalization"]
changed: bool = report["changed"]
removed: dict[Reason, int] = report["removed_counts"]
flagged: dict[Reason, int] = report["flagged_counts"]
spans: list[SpanEvent] = report["spans"]
for span in spans:
    kind: SpanKind = span["kind"]
    reason: SpanReason = span["reason"]
    start: int = span["start"]
    end: int = span["end"]
    detail: str = span["detail"]

stats: SanitizeStats = report["stats"]
flags: list[bool] = [
    stats["ascii_fast_path"],
    stats["default_ignorable_stripped"],
    stats["normalization_truncated"],
    stats["normalized_changed"],
    stats["post_removal_normalized_changed"],
    stats.get("base64ish", False),
    stats.get("base64ish_wrapped", False),
]
counts: list[int] = [
    stats["combining_max_stack"],
    stats["combining_suspicious_stacks"],
    stats["default_ignorable_removed"],
    stats["default_ignorable_removed_joiner"],
    stats["default_ignorable_removed_other"],
    stats["default_ignorable_removed_tag"],
    stats["default_ignorable_removed_variation_selector"],
    stats["invalid_variation_selector_count"],
    stats["normalization_input_chars"],
    stats["normalization_output_chars"],
    stats["normalization_output_limit_chars"],
]
measures: list[float] = [stats["combining_ratio"], stats["entropy_2000"]]
versions: list[str] = [
    stats["ideographic_variation_policy"],
    stats["unicode_mark_version"],
    stats["unicode_normalization_version"],
    stats["variation_data_version"],
]

skeleton: str = normalize_for_skeleton("\ufb01", max_chars=10)
decoration: bool = is_identifier_decoration("\u0301")
risk: CodePointRisk | None = encoded_codepoint_risk("\u202e", "code_mode")
package_version: str = orlenta.__version__

reports: list[tuple[str, SanitizeReport]] = sanitize_many(["a\u200bb", "c"], workers=1)
json_reports: list[tuple[str, str]] = sanitize_many(["a"], "strict", report="json")
changes: list[tuple[str, bool]] = sanitize_many(iter(["a"]), report=None, workers=2)
collected: list[tuple[str, bool] | Exception] = sanitize_many(["a", "\ud800"], report=None, errors="collect")
for clean, each_report in sanitize_iter(["a", "b"], "code_mode", tidy_whitespace=False):
    entropy: float = each_report["stats"]["entropy_2000"]
