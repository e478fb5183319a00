"""Sanitizes untrusted text before machines read it."""

from orlenta._core import sanitize

__all__ = ["sanitize"]
