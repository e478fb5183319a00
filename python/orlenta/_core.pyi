from typing import Literal, TypedDict

__all__ = ["sanitize", "normalize_for_skeleton", "is_identifier_decoration", "encoded_codepoint_risk"]

class SpanEvent(TypedDict):
    kind: Literal["removed", "flag"]
    reason: str
    start: int
    end: int
    detail: str

class SanitizeReport(TypedDict):
    report_version: int
    policy: str
    normalization: Literal["NFC", "NFKC"]
    changed: bool
    removed_counts: dict[str, int]
    flagged_counts: dict[str, int]
    spans: list[SpanEvent]
    stats: dict[str, bool | int | float | str | None]

def sanitize(
    text: str,
    policy: str = "balanced_chat",
    normalization: str | None = None,
    tidy_whitespace: bool | None = None,
    return_spans: bool = False,
) -> tuple[str, SanitizeReport]: ...
def normalize_for_skeleton(text: str, max_chars: int = 1000000) -> str: ...
def is_identifier_decoration(ch: str) -> bool: ...
def encoded_codepoint_risk(
    ch: str, policy: str
) -> (
    Literal[
        "bidi_control",
        "bidi_mark",
        "line_separator",
        "tag_char",
        "junk_invisible",
        "default_ignorable",
        "control_or_format",
    ]
    | None
): ...
