"""The names sanitize takes and the shape of the report it returns, as types.

They are ordinary typing constructs, importable at run time:
``typing.get_args(PolicyName)`` lists the policy names, and
``SanitizeStats.__optional_keys__`` the statistics that only some policies
report. A report is a plain dict; these types only describe it. ``Finding``
is the record ``analyze`` returns, one per finding.
"""

from dataclasses import dataclass
from typing import Literal, TypedDict

__all__ = [
    "SanitizeReport",
    "SanitizeStats",
    "SpanEvent",
    "PolicyName",
    "PresetName",
    "NormalizationForm",
    "SpanKind",
    "SpanReason",
    "Reason",
    "CodePointRisk",
    "Finding",
    "FindingKind",
]

PresetName = Literal["preserve", "balanced_chat", "strict_exec", "code_mode"]
"""The four built-in policies, the names a report gives."""
PolicyName = Literal[PresetName, "balanced", "strict", "code"]
"""What the policy argument accepts: a preset or one of its short aliases."""

NormalizationForm = Literal["NFC", "NFKC"]
"""The normalization forms a report names."""

SpanKind = Literal["removed", "flag"]
"""A span event's kind: a removal, or a flag on a code point that stays."""

SpanReason = Literal[
    "bidi_control",
    "bidi_mark",
    "carriage_return",
    "control_or_format",
    "default_ignorable",
    "invalid_variation_selector",
    "junk_invisible",
    "line_separator",
    "tag_char",
    "variation_selector_excess",
]
"""The reasons decided one code point at a time: the reasons of span events."""

Reason = Literal[
    SpanReason,
    "normalization_amplified",
    "whitespace_tidy",
    "high_entropy",
    "high_combining_ratio",
    "excessive_combining_stack",
    "base64ish_blob",
]
"""Every key of removed_counts and flagged_counts: the span reasons, plus the
reasons counted for the whole text, which have no span events."""

CodePointRisk = Literal[
    "bidi_control",
    "bidi_mark",
    "line_separator",
    "tag_char",
    "junk_invisible",
    "default_ignorable",
    "control_or_format",
]
"""What encoded_codepoint_risk answers, besides None."""


class SpanEvent(TypedDict):
    """One removal or flag of one code point, when return_spans asks for them."""

    kind: SpanKind
    reason: SpanReason
    # UTF-8 byte offsets into the normalized text, not str indices.
    start: int
    end: int
    # The code point as "U+XXXX".
    detail: str


class _StatsOfEveryPolicy(TypedDict):
    """The statistics every report carries."""

    ascii_fast_path: bool
    combining_max_stack: int
    combining_ratio: float
    combining_suspicious_stacks: int
    default_ignorable_removed: int
    default_ignorable_removed_joiner: int
    default_ignorable_removed_other: int
    default_ignorable_removed_tag: int
    default_ignorable_removed_variation_selector: int
    default_ignorable_stripped: bool
    entropy_2000: float
    ideographic_variation_policy: str
    invalid_variation_selector_count: int
    normalization_input_chars: int
    normalization_output_chars: int
    normalization_output_limit_chars: int
    normalization_truncated: bool
    normalized_changed: bool
    post_removal_normalized_changed: bool
    unicode_mark_version: str
    unicode_normalization_version: str
    variation_data_version: str


class SanitizeStats(_StatsOfEveryPolicy, total=False):
    """A report's stats: what the normalization, the removal pass and the
    signal scans measured, and the data versions (the README lists each key)."""

    # Present only under the policies that scan for encoded blobs: every
    # preset but preserve.
    base64ish: bool
    base64ish_wrapped: bool


class SanitizeReport(TypedDict):
    """The report sanitize returns beside the text (the README lists each key)."""

    report_version: int
    policy: PresetName
    normalization: NormalizationForm
    changed: bool
    removed_counts: dict[Reason, int]
    flagged_counts: dict[Reason, int]
    spans: list[SpanEvent]
    stats: SanitizeStats


FindingKind = Literal[
    "encoded_payload",
    "unusual_entropy",
    "combining_abuse",
    "zalgo",
    "joiner_out_of_context",
    "zero_width_run",
    "mixed_script",
    "confusable",
]
"""What analyze can find (the README's Detection section describes each)."""


@dataclass(frozen=True, slots=True)
class Finding:
    """One finding of analyze: its kind, where it stands in the text (code
    point offsets, end exclusive) and the evidence that made it one, under
    the short keys the README lists for each kind."""

    kind: FindingKind
    start: int
    end: int
    evidence: dict[str, int | float | str]
