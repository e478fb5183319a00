"""Sanitizing a file's text while keeping its CR LF line endings."""

from __future__ import annotations

from orlenta import sanitize


def crlf_endings(text: str) -> list[bool]:
    """For each line feed in order, whether a carriage return precedes it."""
    lines = text.split("\n")
    return [line.endswith("\r") for line in lines[:-1]]


def sanitized_text(text: str, policy: str) -> str:
    """sanitize's text, with a carriage return put back before every line
    feed that had one. Under every policy the i-th line feed of the output
    is the i-th of the input: no phase adds or removes a line feed but the
    tidy, which removes only those at the very end."""
    clean, _ = sanitize(text, policy)  # type: ignore[arg-type]
    if "\r\n" not in text:
        return clean
    endings = crlf_endings(text)
    lines = clean.split("\n")
    return "".join(line + ("\r\n" if endings[i] else "\n") for i, line in enumerate(lines[:-1])) + lines[-1]
