"""The detectors as one call: ``analyze(text)``.

sanitize's signals measure a text for its report; these are alarms, tuned
so that real prose and source code in any script do not trip them (the
README's Detection section gives the kinds, their evidence and the
false-alarm rates measured on the corpora).
"""

from orlenta._native import _analyze
from orlenta.types import Finding

__all__ = ["analyze"]


def analyze(text: str) -> list[Finding]:
    """Run every detector over text and return its findings, sorted by
    start, end and kind; start and end are code point offsets into text
    (end exclusive).

    Raises TypeError when text is not a str, UnicodeEncodeError when it holds
    lone surrogates.
    """
    return [Finding(kind, start, end, evidence) for kind, start, end, evidence in _analyze(text)]
