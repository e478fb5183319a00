from collections.abc import Iterator
from typing import Any

from orlenta.types import CodePointRisk, FindingKind, PolicyName, SanitizeReport

__all__ = [
    "sanitize",
    "normalize_for_skeleton",
    "is_identifier_decoration",
    "encoded_codepoint_risk",
    "confusable_skeleton",
]

def sanitize(
    text: str,
    policy: PolicyName = "balanced_chat",
    normalization: str | None = None,
    tidy_whitespace: bool | None = None,
    return_spans: bool = False,
) -> tuple[str, SanitizeReport]:
    """Sanitize untrusted text and report what was changed.

    Removes or flags the code points that hide or reorder what a reader sees,
    normalizes the text to NFC or NFKC under a bound on its growth,
    optionally tidies whitespace, and measures the result for encoded
    payloads. `normalization` and `tidy_whitespace` override the policy's;
    `return_spans` lists every removal and flag, with UTF-8 byte offsets into
    the normalized text (at most 10000). Raises ValueError for an unknown
    policy or normalization and past the span limit.
    """

def normalize_for_skeleton(text: str, max_chars: int = 1000000) -> str:
    """Return the NFKC form of text; ValueError when it or its input exceeds max_chars code points."""

def is_identifier_decoration(ch: str) -> bool:
    """Whether the one character ch is a combining mark or a default-ignorable code point."""

def encoded_codepoint_risk(ch: str, policy: PolicyName) -> CodePointRisk | None:
    """The reason under which the policy would remove the one character ch, or None."""

def _sanitize_chunk(
    texts: list[str],
    policy: PolicyName,
    normalization: str | None,
    tidy_whitespace: bool | None,
    return_spans: bool,
    report: str,
) -> list[Any]:
    """One chunk of sanitize_many, for orlenta's own use."""

def _next_chunk(iterator: Iterator[Any], max_texts: int, max_chars: int, failure: list[BaseException]) -> list[Any]:
    """The texts of the next chunk, for orlenta's own use."""

def _chunk_runner(
    policy: PolicyName,
    normalization: str | None,
    tidy_whitespace: bool | None,
    return_spans: bool,
    report: str,
    threads: int,
) -> object:
    """The pipeline threads of one sanitize_iter call, for orlenta's own use."""

def _submit_chunk(runner: object, texts: list[str]) -> None:
    """Queues a chunk of sanitize_iter, for orlenta's own use."""

def _take_chunk(runner: object) -> list[Any] | None:
    """The results of the oldest queued chunk, for orlenta's own use."""

def _first_refusal(results: list[Any]) -> int:
    """Where the first refusal in a chunk's results is, for orlenta's own use."""

def _scan_file(
    data: bytes, policy: str, strict_newlines: bool, check_normalization: bool
) -> tuple[bytes, tuple[str, ...], tuple[str, ...]]:
    """The findings of one file for orlenta check, for orlenta's own use."""

def _scan_paths(
    paths: list[bytes], policy: str, strict_newlines: bool, check_normalization: bool, keep_data: bool
) -> tuple[list[tuple[bytes | None, bytes | None, str | None]], tuple[str, ...], tuple[str, ...]]:
    """The findings of several files for orlenta check, for orlenta's own use."""

def confusable_skeleton(text: str, max_chars: int = 1000000) -> str:
    """Return the confusable skeleton of text (NFD, every code point replaced by
    its prototype, NFD again): texts that look alike have equal skeletons.
    ValueError when the text or its skeleton exceeds max_chars code points."""
def _walk_folder(folder: bytes) -> list[bytes | tuple[bytes, str]]:
    """The files below a folder for orlenta check, for orlenta's own use."""

def _analyze(text: str) -> list[tuple[FindingKind, int, int, dict[str, int | float | str]]]:
    """The findings of every detector as tuples, for orlenta.analyze."""

def _payloads_and_joiners(text: str) -> list[tuple[FindingKind, int, int, dict[str, int | float | str]]]:
    """The encoded payloads and joiners out of context as _analyze gives them, for orlenta.reveal."""

def _hidden_runs(text: str) -> list[tuple[int, int]]:
    """Where the runs of hidden code points are, for orlenta.reveal."""
