"""Many texts at once: sanitize_many and sanitize_iter.

The texts are cut into chunks; each chunk is sanitized by one native call
that releases the interpreter lock while the pipeline runs, so chunks on
several threads run at once. Results come back in input order.
"""

from __future__ import annotations

import itertools
import os
from collections import deque
from collections.abc import Iterable, Iterator
from concurrent.futures import Future, ThreadPoolExecutor
from typing import Any, Literal, Optional

from orlenta import _native
from orlenta.types import PolicyName

ReportForm = Literal["dict", "json"] | None
ErrorMode = Literal["raise", "collect"]
# What one native chunk call takes beside the texts: policy, normalization,
# tidy_whitespace, return_spans and the form of the reports.
ChunkArguments = tuple[PolicyName, Optional[str], Optional[bool], bool, str]

# A chunk holds this many texts, or fewer whose lengths add up to the
# character budget: enough to make the lock's release worth it, few enough
# that a long text does not hold up the results behind it.
CHUNK_TEXTS = 256
CHUNK_CHARS = 1 << 20
# Chunks under way per worker thread in sanitize_iter.
CHUNKS_AHEAD_PER_WORKER = 2


def sanitize_many(
    texts: Iterable[str],
    policy: PolicyName = "balanced_chat",
    normalization: str | None = None,
    tidy_whitespace: bool | None = None,
    return_spans: bool = False,
    *,
    report: ReportForm = "dict",
    workers: int | None = None,
    errors: ErrorMode = "raise",
) -> list[Any]:
    """Sanitize every text; element i equals ``sanitize(texts[i], ...)``.

    report: "dict" gives ``(text, report dict)`` pairs, exactly what
        ``sanitize`` returns; "json" the report as its compact JSON text
        instead; None only ``(text, changed)``.
    workers: threads to use, by default the number of CPUs.
    errors: "raise" raises the exception ``sanitize`` would raise for the
        first text it refuses, with that text's index in the message;
        "collect" puts the exception object in that text's place instead.
    """
    return list(
        sanitize_iter(
            texts, policy, normalization, tidy_whitespace, return_spans, report=report, workers=workers, errors=errors
        )
    )


def sanitize_iter(
    texts: Iterable[str],
    policy: PolicyName = "balanced_chat",
    normalization: str | None = None,
    tidy_whitespace: bool | None = None,
    return_spans: bool = False,
    *,
    report: ReportForm = "dict",
    workers: int | None = None,
    errors: ErrorMode = "raise",
) -> Iterator[Any]:
    """sanitize_many as a generator: yields the results in order from any
    iterable, holding only a few chunks at a time."""
    # sanitize itself checks the shared arguments, with its own messages.
    _native.sanitize("", policy, normalization, tidy_whitespace, return_spans)
    report_form = _report_form(report)
    thread_count = _thread_count(workers)
    if errors not in ("raise", "collect"):
        raise ValueError(f"unknown errors mode: {errors!r}")
    arguments: ChunkArguments = (policy, normalization, tidy_whitespace, return_spans, report_form)
    return results_in_order(texts, arguments, thread_count, errors == "collect")


def results_in_order(texts: Iterable[str], arguments: ChunkArguments, thread_count: int, collect: bool) -> Iterator[Any]:
    """The chunks' results one by one, for arguments already checked."""
    return _in_order(_chunk_results(_chunks(texts), arguments, thread_count), collect)


def all_results(texts: Iterable[str], arguments: ChunkArguments, thread_count: int) -> list[Any]:
    """Every result in order, for arguments already checked, with the
    exception a refused text raised, as it is, in its place: for callers
    that take the results as a whole and locate a refusal themselves,
    without a step per result in Python."""
    return list(itertools.chain.from_iterable(_chunk_results(_chunks(texts), arguments, thread_count)))


def _report_form(report: object) -> str:
    if report is None:
        return "none"
    if report in ("dict", "json"):
        return str(report)
    raise ValueError(f"unknown report form: {report!r}")


def _thread_count(workers: object) -> int:
    if workers is None:
        return os.cpu_count() or 1
    if type(workers) is not int or workers < 1:
        raise ValueError(f"workers must be a positive int, not {workers!r}")
    return workers


def _chunks(texts: Iterable[str]) -> Iterator[list[str]]:
    iterator = iter(texts)
    while True:
        chunk: list[str] = []
        chars = 0
        for text in itertools.islice(iterator, CHUNK_TEXTS):
            chunk.append(text)
            chars += len(text) if isinstance(text, str) else 0
            if chars >= CHUNK_CHARS:
                break
        if not chunk:
            return
        yield chunk


def _chunk_results(chunks: Iterator[list[str]], arguments: ChunkArguments, thread_count: int) -> Iterator[list[Any]]:
    if thread_count == 1:
        for chunk in chunks:
            yield _native._sanitize_chunk(chunk, *arguments)
        return
    with ThreadPoolExecutor(max_workers=thread_count, thread_name_prefix="orlenta") as pool:
        pending: deque[Future[list[Any]]] = deque()
        for chunk in chunks:
            pending.append(pool.submit(_native._sanitize_chunk, chunk, *arguments))
            if len(pending) >= thread_count * CHUNKS_AHEAD_PER_WORKER:
                yield pending.popleft().result()
        while pending:
            yield pending.popleft().result()


def _in_order(chunk_results: Iterator[list[Any]], collect: bool) -> Iterator[Any]:
    index = 0
    for results in chunk_results:
        for result in results:
            if isinstance(result, BaseException):
                located = _with_index(result, index)
                if not collect:
                    raise located from result
                result = located
            yield result
            index += 1


def _with_index(error: BaseException, index: int) -> BaseException:
    """The same kind of exception, its message naming the text's index."""
    return located(error, f"texts[{index}]")


def located(error: BaseException, where: str) -> BaseException:
    """The same kind of exception, its message saying where it happened."""
    if isinstance(error, UnicodeEncodeError):
        return UnicodeEncodeError(error.encoding, error.object, error.start, error.end, f"{error.reason} ({where})")
    try:
        return type(error)(f"{where}: {error}")
    except Exception:
        return error
