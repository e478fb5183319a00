"""Sanitizes untrusted text before machines read it.

``sanitize(text, policy="balanced_chat")`` removes or flags the Unicode
devices that hide or reorder what a reader sees (bidi controls, tag
characters, surplus variation selectors, zero-width characters, controls),
normalizes the text (NFC or NFKC) under a bound on its growth, optionally
tidies whitespace, and returns the clean text with a report.

Functions, from the native core (``orlenta._core`` has them too, without
docstrings):

- ``sanitize``: the clean text and a ``SanitizeReport``;
- ``normalize_for_skeleton``: NFKC under a bound on the length;
- ``is_identifier_decoration``: whether one character is a combining mark or
  a default-ignorable code point, which can decorate an identifier unseen;
- ``encoded_codepoint_risk``: the reason a policy would remove one character,
  or None.

``confusable_skeleton`` (from ``orlenta._native``) maps a text to its
look-alike skeleton, so that texts that look alike compare equal.

``analyze`` runs the detectors over a text and returns a ``Finding`` for
each encoded payload, joiner out of context, zero-width run, homoglyph,
combining-mark abuse or unusual entropy, with code point offsets and the
evidence; unlike sanitize's signals, these are meant as alarms.

``reveal`` (from ``orlenta.reveal``) lists what a text hides:
every run of invisible code points as a ``HiddenRun``, with its offsets and,
where it carries a known encoding (tag characters, variation selectors,
invisible bits), what it says.

Types, from ``orlenta.types``: ``SanitizeReport``, ``SanitizeStats`` and
``SpanEvent`` describe the report; ``PolicyName``, ``PresetName``,
``NormalizationForm``, ``SpanKind``, ``SpanReason``, ``Reason`` and
``CodePointRisk`` are the names it takes and reports, as literal types;
``Finding`` and ``FindingKind`` describe what ``analyze`` returns.
``__version__`` is the installed version.

The README describes what each policy removes, flags, normalizes and tidies,
every report and stats key, the span offsets (UTF-8 byte offsets into the
normalized text, not str indices) and what orlenta does not catch.
"""

import sys

# typing is not imported for its TYPE_CHECKING alone; type checkers read this
# name the same way.
TYPE_CHECKING = False

# The same native functions as orlenta._core's, registered again with
# docstrings in orlenta._native.
from orlenta._native import (
    confusable_skeleton,
    encoded_codepoint_risk,
    is_identifier_decoration,
    normalize_for_skeleton,
    sanitize,
)

__all__ = [
    "sanitize",
    "normalize_for_skeleton",
    "is_identifier_decoration",
    "encoded_codepoint_risk",
    "sanitize_many",
    "sanitize_iter",
    "analyze",
    "confusable_skeleton",
    "Finding",
    "FindingKind",
    "reveal",
    "HiddenRun",
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
]

if TYPE_CHECKING:
    from orlenta.batch import sanitize_iter, sanitize_many
    from orlenta.detection import analyze
    from orlenta.reveal import HiddenRun, reveal
    from orlenta.types import (
        CodePointRisk,
        Finding,
        FindingKind,
        NormalizationForm,
        PolicyName,
        PresetName,
        Reason,
        SanitizeReport,
        SanitizeStats,
        SpanEvent,
        SpanKind,
        SpanReason,
    )

    __version__: str
else:
    # Where each name that is imported on first use lives. orlenta.reveal
    # and orlenta.types bring in dataclasses, inspect and typing, and
    # orlenta.batch concurrent.futures and logging: together several times
    # what the native module costs to load, which the orlenta command would
    # pay on every start for nothing.
    _LAZY_MODULES = {
        "sanitize_many": "orlenta.batch",
        "sanitize_iter": "orlenta.batch",
        "analyze": "orlenta.detection",
        "reveal": "orlenta.reveal",
        "HiddenRun": "orlenta.reveal",
        **dict.fromkeys(["Finding", "FindingKind", *__all__[__all__.index("SanitizeReport") :]], "orlenta.types"),
    }

    def __getattr__(name):
        """Imports the names above, and reads __version__ from the package
        metadata, on first use; each is then kept."""
        if name in _LAZY_MODULES:
            import importlib

            globals()[name] = getattr(importlib.import_module(_LAZY_MODULES[name]), name)
        elif name == "__version__":
            # importlib.metadata takes far longer to import than orlenta.
            from importlib.metadata import version

            globals()["__version__"] = version(__name__)
        else:
            raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
        return globals()[name]

    class _Package(type(sys)):
        """This package's module. The function reveal and the module
        orlenta.reveal share a name, and importing the module binds the
        module to it; the function, which the package exports, is kept."""

        def __setattr__(self, name, value):
            if name == "reveal" and isinstance(value, type(sys)):
                value = value.reveal
            super().__setattr__(name, value)

    sys.modules[__name__].__class__ = _Package
