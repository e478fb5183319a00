"""Sanitizing a text column of a Dask or pandas DataFrame.

Needs the optional extra: ``pip install orlenta[dask]``.

    >>> import dask.dataframe as dd
    >>> from orlenta.dask import sanitize_column
    >>> frame = dd.read_parquet("messages/")
    >>> sanitize_column(frame, "body").to_parquet("clean/")
"""

from __future__ import annotations

import operator
import os
from typing import Any

from orlenta import _native
from orlenta.batch import all_results, located
from orlenta.types import PolicyName


def sanitize_column(
    df: Any,
    column: str,
    policy: PolicyName = "balanced_chat",
    normalization: str | None = None,
    tidy_whitespace: bool | None = None,
) -> Any:
    """The frame with three columns added after sanitizing ``column``.

    ``<column>_clean`` holds the sanitized text, ``<column>_changed`` whether
    sanitizing changed it, and ``<column>_report`` the report as compact JSON
    text, in pandas' nullable string (Arrow-backed) and boolean types: a
    missing value (None, NaN, NA) stays missing (NA) in all three. A Dask
    DataFrame is sanitized partition by partition with ``map_partitions``; a
    pandas DataFrame at once. A value
    that sanitize refuses (not a str, lone surrogates) fails the job with an
    error naming the column and the row's index label.
    """
    # sanitize itself checks the arguments, with its own messages.
    _native.sanitize("", policy, normalization, tidy_whitespace)
    import pandas  # type: ignore[import-untyped,unused-ignore]

    if isinstance(df, pandas.DataFrame):
        return sanitize_partition(df, column, policy, normalization, tidy_whitespace, workers=None)
    import dask.dataframe

    if not isinstance(df, dask.dataframe.DataFrame):
        raise TypeError(f"expected a Dask or pandas DataFrame, not {type(df).__qualname__}")
    # Dask runs partitions in parallel already: one thread each.
    meta = sanitize_partition(df._meta, column, policy, normalization, tidy_whitespace, workers=1)
    return df.map_partitions(  # type: ignore[no-untyped-call,unused-ignore]
        sanitize_partition, column, policy, normalization, tidy_whitespace, workers=1, meta=meta
    )


def sanitize_partition(
    frame: Any,
    column: str,
    policy: PolicyName,
    normalization: str | None,
    tidy_whitespace: bool | None,
    workers: int | None,
) -> Any:
    """sanitize_column for one pandas DataFrame."""
    import pandas  # type: ignore[import-untyped,unused-ignore]

    if column not in frame.columns:
        raise KeyError(f"no column {column!r} in the frame")
    values = frame[column]
    present = values.notna().to_numpy()
    everything_present = bool(present.all())
    texts = values.tolist() if everything_present else values[present].tolist()
    arguments = (policy, normalization, tidy_whitespace, False, "changed+json")
    results = all_results(texts, arguments, workers or os.cpu_count() or 1)
    refused = _native._first_refusal(results)
    if refused >= 0:
        # As a Python value, as the index shows it to the user.
        label = values.index[present][refused : refused + 1].tolist()[0]
        error = results[refused]
        raise located(located(error, f"texts[{refused}]"), f"column {column!r} at index {label!r}") from error

    # The three columns from the (text, changed, report) triples at C speed,
    # each missing row put back as NA. The texts go straight into Arrow
    # arrays: pandas' own conversion of a list to its string type checks
    # every element again and costs several times as much. The columns are
    # picked with itemgetter rather than zip(*results), whose iterator per
    # row the cycle collector would keep finding and promoting, each partition
    # adding a full collection of the worker's heap.
    import numpy

    clean = list(map(operator.itemgetter(0), results))
    reports = list(map(operator.itemgetter(2), results))
    changed_values = numpy.zeros(len(values), dtype=bool)
    changed_values[present] = numpy.fromiter(map(operator.itemgetter(1), results), dtype=bool, count=len(results))
    out = frame.copy()
    out[f"{column}_clean"] = _string_series(clean, present, frame.index)
    out[f"{column}_changed"] = pandas.Series(
        pandas.arrays.BooleanArray(changed_values, ~present), index=frame.index, copy=False
    )
    out[f"{column}_report"] = _string_series(reports, present, frame.index)
    return out


def _string_series(texts: Any, present: Any, index: Any) -> Any:
    """pandas' nullable string Series of the texts of the present rows, NA
    where a row is missing."""
    import numpy
    import pandas  # type: ignore[import-untyped,unused-ignore]
    import pyarrow  # type: ignore[import-untyped,unused-ignore]

    if len(texts) != len(present):
        full = numpy.full(len(present), None, dtype=object)
        full[present] = numpy.fromiter(texts, dtype=object, count=len(texts))
        texts = full
    array = pyarrow.array(texts, pyarrow.string())
    return pandas.Series(pandas.arrays.ArrowStringArray(array), index=index, copy=False)
