"""Sanitizes untrusted text before machines read it."""

from orlenta._core import encoded_codepoint_risk, is_identifier_decoration, normalize_for_skeleton, sanitize

__all__ = ["sanitize", "normalize_for_skeleton", "is_identifier_decoration", "encoded_codepoint_risk"]
