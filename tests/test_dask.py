"""orlenta.dask on a real two-process cluster, reading and writing Parquet."""

import json

import pytest

from orlenta import sanitize_many
from orlenta.dask import sanitize_column
from test_properties import INTERESTING

pd = pytest.importorskip("pandas", reason="the dask extra (pandas) is not installed")
dask = pytest.importorskip("dask", reason="the dask extra (dask) is not installed")
dd = pytest.importorskip("dask.dataframe", reason="the dask extra (dask) is not installed")
distributed = pytest.importorskip("distributed", reason="the dask extra (distributed) is not installed")
pytest.importorskip("pyarrow", reason="the dask extra (pyarrow) is not installed")


def messages(count):
    """Texts made of the interesting code points, with a missing value now and then."""
    rows = []
    for i in range(count):
        picks = [INTERESTING[(i * 7 + k * 13) % len(INTERESTING)] for k in range(i % 40)]
        rows.append(None if i % 11 == 0 else f"message {i}: " + "".join(picks))
    return rows


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(
        n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1", dashboard_address=None
    ) as cluster, distributed.Client(cluster) as connected:
        yield connected


def test_parquet_through_the_cluster_equals_one_process(client, tmp_path):
    frame = pd.DataFrame({"body": messages(600), "n": range(600)})
    dd.from_pandas(frame, npartitions=4).to_parquet(tmp_path / "in")
    sanitized = sanitize_column(dd.read_parquet(tmp_path / "in"), "body", policy="strict_exec")
    sanitized.to_parquet(tmp_path / "out")
    out = pd.read_parquet(tmp_path / "out").sort_values("n")

    assert out["n"].tolist() == list(range(600))
    missing = frame["body"].isna().to_numpy()
    for suffix in ("_clean", "_changed", "_report"):
        assert out["body" + suffix].isna().to_numpy().tolist() == missing.tolist()
    want = sanitize_many(frame["body"][~missing].tolist(), "strict_exec")
    assert out["body_clean"][~missing].tolist() == [text for text, _ in want]
    assert out["body_changed"][~missing].tolist() == [report["changed"] for _, report in want]
    assert [json.loads(report) for report in out["body_report"][~missing]] == [report for _, report in want]


def test_a_bad_row_fails_the_job_naming_its_index(client):
    frame = pd.DataFrame({"body": ["fine", "also fine", 42, "after"]}, index=[5, 6, 7, 8], dtype=object)
    # Kept as objects: Dask would otherwise turn the column into strings.
    with dask.config.set({"dataframe.convert-string": False}):
        job = sanitize_column(dd.from_pandas(frame, npartitions=2), "body")
    with pytest.raises(TypeError, match=r"column 'body' at index 7: .*'int' object is not an instance of 'str'"):
        job.compute()


@pytest.mark.parametrize(
    ("value", "error", "message"),
    [
        (42, TypeError, r"^column 'body' at index 20: texts\[1\]: 'int' object is not an instance of 'str'$"),
        ("a\ud800", UnicodeEncodeError, r"surrogates not allowed \(texts\[1\]\) \(column 'body' at index 20\)$"),
    ],
)
def test_a_refused_value_is_named_by_its_index_label(value, error, message):
    frame = pd.DataFrame({"body": pd.Series(["fine", None, value], dtype=object, index=[5, 10, 20])})
    with pytest.raises(error, match=message):
        sanitize_column(frame, "body")


def test_a_pandas_frame_comes_back_as_pandas():
    frame = pd.DataFrame({"body": ["a\u200bb", None]})
    out = sanitize_column(frame, "body")
    assert isinstance(out, pd.DataFrame)
    assert out[["body_clean", "body_changed", "body_report"]].dtypes.tolist() == ["string", "boolean", "string"]
    assert out["body_clean"][0] == "ab" and out["body_changed"][0]
    assert out[["body_clean", "body_changed", "body_report"]].iloc[1].isna().all()
