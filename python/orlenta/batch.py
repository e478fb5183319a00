"""Many texts at once: sanitize_many and sanitize_iter.

The texts are cut into chunks. The pipeline runs over the chunks on native
threads that never take the interpreter lock, while the calling thread reads
the next chunks' texts and builds the Python results of the chunks before
them. Results come back in input order.
"""

from __future__ import annotations

import itertools
import os
from collections.abc import Iterable, Iterator
from typing import Any, Literal, Optional, overload

from orlenta import _native
from orlenta.types import PolicyName, SanitizeReport

ReportForm = Literal["dict", "json"] | None
ErrorMode = Literal["raise", "collect"]
# What each report form gives for a text; errors="collect" leaves the
# exception a refused text raised in its place instead.
DictResult = tuple[str, SanitizeReport]
JsonResult = tuple[str, str]
ChangedResult = tuple[str, bool]
# What one native chunk call takes beside the texts: policy, normalization,
# tidy_whitespace, return_spans and the form of the reports.
ChunkArguments = tuple[PolicyName, Optional[str], Optional[bool], bool, str]

# A chunk holds this many texts, or fewer whose lengths add up to the
# character budget: enough to make the lock's release worth it, few enough
# that a long text does not hold up the results behind it.
CHUNK_TEXTS = 256
CHUNK_CHARS = 1 << 18
# Chunks under way per pipeline thread, beyond the one whose results are
# being built: enough that no thread waits for the next chunk, few enough
# that sanitize_iter holds only a few chunks at a time.
CHUNKS_AHEAD_PER_WORKER = 2
# The smallest piece the first and last chunks are cut into: below this, the
# handing over of a piece costs more than the wait it saves.
MIN_PIECE_TEXTS = 16


@overload
def sanitize_many(
    texts: Iterable[str], policy: PolicyName = ..., normalization: str | None = ..., tidy_whitespace: bool | None = ...,
    return_spans: bool = ..., *, report: Literal["dict"] = ..., workers: int | None = ...,
    errors: Literal["raise"] = ...,
) -> list[DictResult]: ...
@overload
def sanitize_many(
    texts: Iterable[str], policy: PolicyName = ..., normalization: str | None = ..., tidy_whitespace: bool | None = ...,
    return_spans: bool = ..., *, report: Literal["json"], workers: int | None = ...,
    errors: Literal["raise"] = ...,
) -> list[JsonResult]: ...
@overload
def sanitize_many(
    texts: Iterable[str], policy: PolicyName = ..., normalization: str | None = ..., tidy_whitespace: bool | None = ...,
    return_spans: bool = ..., *, report: None, workers: int | None = ...,
    errors: Literal["raise"] = ...,
) -> list[ChangedResult]: ...
@overload
def sanitize_many(
    texts: Iterable[str], policy: PolicyName = ..., normalization: str | None = ..., tidy_whitespace: bool | None = ...,
    return_spans: bool = ..., *, report: Literal["dict"] = ..., workers: int | None = ...,
    errors: Literal["collect"],
) -> list[DictResult | Exception]: ...
@overload
def sanitize_many(
    texts: Iterable[str], policy: PolicyName = ..., normalization: str | None = ..., tidy_whitespace: bool | None = ...,
    return_spans: bool = ..., *, report: Literal["json"], workers: int | None = ...,
    errors: Literal["collect"],
) -> list[JsonResult | Exception]: ...
@overload
def sanitize_many(
    texts: Iterable[str], policy: PolicyName = ..., normalization: str | None = ..., tidy_whitespace: bool | None = ...,
    return_spans: bool = ..., *, report: None, workers: int | None = ...,
    errors: Literal["collect"],
) -> list[ChangedResult | Exception]: ...
@overload
def sanitize_many(
    texts: Iterable[str], policy: PolicyName = ..., normalization: str | None = ..., tidy_whitespace: bool | None = ...,
    return_spans: bool = ..., *, report: ReportForm = ..., workers: int | None = ...,
    errors: ErrorMode = ...,
) -> list[Any]: ...
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
    workers: threads that run the pipeline, by default the number of CPUs;
        the calling thread builds the results meanwhile.
    errors: "raise" raises the exception ``sanitize`` would raise for the
        first text it refuses, with that text's index in the message;
        "collect" puts the exception object in that text's place instead.
    """
    arguments, thread_count, collect = _checked(policy, normalization, tidy_whitespace, return_spans, report, workers, errors)
    results: list[Any] = []
    for chunk in _chunk_results(texts, arguments, thread_count):
        results += _located_refusals(chunk, len(results), collect)
    return results


@overload
def sanitize_iter(
    texts: Iterable[str], policy: PolicyName = ..., normalization: str | None = ..., tidy_whitespace: bool | None = ...,
    return_spans: bool = ..., *, report: Literal["dict"] = ..., workers: int | None = ...,
    errors: Literal["raise"] = ...,
) -> Iterator[DictResult]: ...
@overload
def sanitize_iter(
    texts: Iterable[str], policy: PolicyName = ..., normalization: str | None = ..., tidy_whitespace: bool | None = ...,
    return_spans: bool = ..., *, report: Literal["json"], workers: int | None = ...,
    errors: Literal["raise"] = ...,
) -> Iterator[JsonResult]: ...
@overload
def sanitize_iter(
    texts: Iterable[str], policy: PolicyName = ..., normalization: str | None = ..., tidy_whitespace: bool | None = ...,
    return_spans: bool = ..., *, report: None, workers: int | None = ...,
    errors: Literal["raise"] = ...,
) -> Iterator[ChangedResult]: ...
@overload
def sanitize_iter(
    texts: Iterable[str], policy: PolicyName = ..., normalization: str | None = ..., tidy_whitespace: bool | None = ...,
    return_spans: bool = ..., *, report: Literal["dict"] = ..., workers: int | None = ...,
    errors: Literal["collect"],
) -> Iterator[DictResult | Exception]: ...
@overload
def sanitize_iter(
    texts: Iterable[str], policy: PolicyName = ..., normalization: str | None = ..., tidy_whitespace: bool | None = ...,
    return_spans: bool = ..., *, report: Literal["json"], workers: int | None = ...,
    errors: Literal["collect"],
) -> Iterator[JsonResult | Exception]: ...
@overload
def sanitize_iter(
    texts: Iterable[str], policy: PolicyName = ..., normalization: str | None = ..., tidy_whitespace: bool | None = ...,
    return_spans: bool = ..., *, report: None, workers: int | None = ...,
    errors: Literal["collect"],
) -> Iterator[ChangedResult | Exception]: ...
@overload
def sanitize_iter(
    texts: Iterable[str], policy: PolicyName = ..., normalization: str | None = ..., tidy_whitespace: bool | None = ...,
    return_spans: bool = ..., *, report: ReportForm = ..., workers: int | None = ...,
    errors: ErrorMode = ...,
) -> Iterator[Any]: ...
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
    arguments, thread_count, collect = _checked(policy, normalization, tidy_whitespace, return_spans, report, workers, errors)
    return results_in_order(texts, arguments, thread_count, collect)


def _checked(
    policy: PolicyName,
    normalization: str | None,
    tidy_whitespace: bool | None,
    return_spans: bool,
    report: ReportForm,
    workers: int | None,
    errors: ErrorMode,
) -> tuple[ChunkArguments, int, bool]:
    """The chunk arguments, thread count and whether to collect refusals,
    once every argument has been checked, before any text is read."""
    # sanitize itself checks the shared arguments, with its own messages.
    _native.sanitize("", policy, normalization, tidy_whitespace, return_spans)
    report_form = _report_form(report)
    thread_count = _thread_count(workers)
    if errors not in ("raise", "collect"):
        raise ValueError(f"unknown errors mode: {errors!r}")
    arguments: ChunkArguments = (policy, normalization, tidy_whitespace, return_spans, report_form)
    return arguments, thread_count, errors == "collect"


def results_in_order(texts: Iterable[str], arguments: ChunkArguments, thread_count: int, collect: bool) -> Iterator[Any]:
    """The chunks' results one by one, for arguments already checked."""
    return _in_order(_chunk_results(texts, arguments, thread_count), collect)


def all_results(texts: Iterable[str], arguments: ChunkArguments, thread_count: int) -> list[Any]:
    """Every result in order, for arguments already checked, with the
    exception a refused text raised, as it is, in its place: for callers
    that take the results as a whole and locate a refusal themselves,
    without a step per result in Python."""
    return list(itertools.chain.from_iterable(_chunk_results(texts, arguments, thread_count)))


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


def _chunks(texts: Iterable[str], failure: list[BaseException]) -> Iterator[list[str]]:
    # Cut natively: a step per text in Python cost the calling thread, which
    # builds every result, a noticeable share of its time. An exception of
    # the input ends the chunks and lands in `failure`.
    iterator = iter(texts)
    while not failure and (chunk := _native._next_chunk(iterator, CHUNK_TEXTS, CHUNK_CHARS, failure)):
        yield chunk


def _chunk_results(texts: Iterable[str], arguments: ChunkArguments, thread_count: int) -> Iterator[list[Any]]:
    """The results of each chunk in order. When the input raises, the texts
    read before it still get their results, and then its exception is
    raised: a consumer of sanitize_iter keeps everything done before."""
    failure: list[BaseException] = []
    yield from _results_of_chunks(_chunks(texts, failure), arguments, thread_count)
    if failure:
        raise failure[0]


def _results_of_chunks(chunks: Iterator[list[str]], arguments: ChunkArguments, thread_count: int) -> Iterator[list[Any]]:
    first = next(chunks, None)
    if first is None:
        return
    second = next(chunks, None)
    if second is None:
        # One chunk: no thread would have anything to overlap with.
        yield _native._sanitize_chunk(first, *arguments)
        return
    runner = _native._chunk_runner(*arguments, thread_count)
    ahead = thread_count * CHUNKS_AHEAD_PER_WORKER
    pending = 0
    for chunk in _split_at_ends(first, second, chunks):
        _native._submit_chunk(runner, chunk)
        pending += 1
        if pending > ahead and (results := _native._take_chunk(runner)) is not None:
            pending -= 1
            yield results
    while (results := _native._take_chunk(runner)) is not None:
        yield results


def _split_at_ends(first: list[str], second: list[str], rest: Iterator[list[str]]) -> Iterator[list[str]]:
    """The chunks, the first and the last cut into pieces of growing and
    shrinking size. Until the first results come, the calling thread has
    nothing to build, and once the pipeline has run over the last texts, the
    pipeline threads have nothing to do: small pieces at both ends shorten
    those waits. A chunk is held back until the next one is read, to know
    which is the last."""
    yield from _pieces(first, growing=True)
    held = second
    for chunk in rest:
        yield held
        held = chunk
    yield from _pieces(held, growing=False)


def _pieces(chunk: list[str], growing: bool) -> list[list[str]]:
    """An eighth, an eighth, a quarter and a half of the chunk, or the other
    way round."""
    eighth = len(chunk) // 8
    if eighth < MIN_PIECE_TEXTS:
        return [chunk]
    sizes = [eighth, eighth, 2 * eighth]
    sizes.append(len(chunk) - sum(sizes))
    if not growing:
        sizes.reverse()
    cuts = list(itertools.accumulate(sizes, initial=0))
    return [chunk[start:stop] for start, stop in zip(cuts, cuts[1:])]


def _in_order(chunk_results: Iterator[list[Any]], collect: bool) -> Iterator[Any]:
    index = 0
    for results in chunk_results:
        yield from _located_refusals(results, index, collect)
        index += len(results)


def _located_refusals(results: list[Any], start: int, collect: bool) -> list[Any]:
    """The results of a chunk whose first text is texts[start], each
    exception in them naming its text's index; in "raise" mode the first
    such exception is raised instead."""
    first = _native._first_refusal(results)
    if first < 0:
        return results
    located_results = list(results)
    for offset in range(first, len(results)):
        result = results[offset]
        if isinstance(result, BaseException):
            error = _with_index(result, start + offset)
            if not collect:
                raise error from result
            located_results[offset] = error
    return located_results


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
