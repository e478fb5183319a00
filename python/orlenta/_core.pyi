from orlenta.types import CodePointRisk, PolicyName, SanitizeReport

__all__ = ["sanitize", "normalize_for_skeleton", "is_identifier_decoration", "encoded_codepoint_risk"]

def sanitize(
    text: str,
    policy: PolicyName = "balanced_chat",
    normalization: str | None = None,
    tidy_whitespace: bool | None = None,
    return_spans: bool = False,
) -> tuple[str, SanitizeReport]: ...
def normalize_for_skeleton(text: str, max_chars: int = 1000000) -> str: ...
def is_identifier_decoration(ch: str) -> bool: ...
def encoded_codepoint_risk(ch: str, policy: PolicyName) -> CodePointRisk | None: ...
