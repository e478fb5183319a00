"""orlenta.dask.sanitize_column on a local Dask cluster, each figure next to
a reference timed in the same run.

    python bench/dask_bench.py [--corpus DIR] [--megabytes N] [--workdir DIR] [--quick]

A Parquet dataset of chat messages (50 to 300 characters, slices of the UDHR
corpus and of emoji chat; by default 200 MB of UTF-8 text in the column,
stored uncompressed and without dictionary encoding, so that the files are
as large as the text) is written into a temporary folder, which is removed
at the end. Each run reads the dataset, sanitizes the column (balanced_chat)
and writes the three added columns and the rest back to Parquet:

a. one process, no Dask: each file read with pyarrow, sanitize_many over its
   column (report="json", one worker thread), written back; the reference;
b. Dask on a LocalCluster (loopback) with one worker process
   of one thread: the Dask path's overhead against a;
c. the same cluster with two worker processes: scaling against b.

Clusters are started before their runs are timed: start-up is paid once in
a long-lived cluster.
"""

import argparse
import logging
import os
import pathlib
import platform
import shutil
import sys
import tempfile

import bench_texts
import orlenta
from timing import Targets, interleaved, print_table, seconds

MB = 1_000_000
COLUMN = "body"
# Distinct messages generated; the dataset repeats them, each copy offset
# by a rotating prefix so that no two rows of a file are the same text.
POOL_MESSAGES = 20_000


def chat_pool(corpus: str) -> list[str]:
    """Half corpus slices, half emoji chat slices, interleaved."""
    emoji = bench_texts.emoji_chat(2 * MB)
    halves = zip(bench_texts.chat_messages(corpus, POOL_MESSAGES // 2), bench_texts.chat_messages(emoji, POOL_MESSAGES // 2))
    return [message for pair in halves for message in pair]


def write_dataset(folder: pathlib.Path, pool: list[str], total_bytes: int, files: int) -> int:
    """Parquet files of about total_bytes / files of text each; returns the
    UTF-8 bytes of the column written."""
    import pyarrow as pa
    import pyarrow.parquet as pq

    folder.mkdir(parents=True)
    written = 0
    row = 0
    per_file = total_bytes // files
    for number in range(files):
        texts: list[str] = []
        size = 0
        while size < per_file:
            text = f"{row % 997} {pool[row % len(pool)]}"
            texts.append(text)
            size += len(text.encode("utf-8"))
            row += 1
        table = pa.table({"id": pa.array(range(row - len(texts), row), pa.int64()), COLUMN: pa.array(texts, pa.string())})
        pq.write_table(table, folder / f"part-{number:03d}.parquet", compression="none", use_dictionary=False)
        written += size
    return written


def one_process(source: pathlib.Path, out: pathlib.Path) -> None:
    """The reference: sanitize_many over each file's column, in this process."""
    import pyarrow as pa
    import pyarrow.parquet as pq

    shutil.rmtree(out, ignore_errors=True)
    out.mkdir()
    for path in sorted(source.glob("*.parquet")):
        table = pq.read_table(path)
        results = orlenta.sanitize_many(table.column(COLUMN).to_pylist(), report="json", workers=1)
        clean = pa.array([text for text, _ in results], pa.string())
        reports = pa.array([report for _, report in results], pa.string())
        pq.write_table(table.append_column(f"{COLUMN}_clean", clean).append_column(f"{COLUMN}_report", reports), out / path.name)


def through_dask(client, source: pathlib.Path, out: pathlib.Path) -> None:
    import dask.dataframe as dd
    from orlenta.dask import sanitize_column

    shutil.rmtree(out, ignore_errors=True)
    sanitize_column(dd.read_parquet(source), COLUMN).to_parquet(out, write_index=False, compute_kwargs={"scheduler": client})


def start_cluster(workers: int):
    import distributed

    # The scheduler in this process logs every worker's coming and going.
    logging.getLogger("distributed").setLevel(logging.ERROR)

    cluster = distributed.LocalCluster(
        n_workers=workers,
        threads_per_worker=1,
        processes=True,
        host="127.0.0.1",
        # A free port of its own: a fixed one may be taken by another cluster.
        dashboard_address="127.0.0.1:0",
        silence_logs=logging.ERROR,
    )
    return cluster, distributed.Client(cluster)


def run(corpus: str, megabytes: int, files: int, repetitions: int, workdir: pathlib.Path, targets: Targets) -> None:
    source = workdir / "in"
    written = write_dataset(source, chat_pool(corpus), megabytes * MB, files)
    on_disk = sum(path.stat().st_size for path in source.glob("*.parquet"))
    import pyarrow.parquet as pq

    rows = sum(pq.ParquetFile(path).metadata.num_rows for path in source.glob("*.parquet"))
    print(f"dataset: {files} Parquet files, {rows} rows, {written / MB:.0f} MB of text, {on_disk / MB:.0f} MB on disk\n")

    clusters = {workers: start_cluster(workers) for workers in (1, 2)}
    try:
        runs = {
            "a. one process, sanitize_many": lambda: seconds(lambda: one_process(source, workdir / "out-a")),
            "b. Dask, 1 worker process": lambda: seconds(lambda: through_dask(clusters[1][1], source, workdir / "out-b")),
            "c. Dask, 2 worker processes": lambda: seconds(lambda: through_dask(clusters[2][1], source, workdir / "out-c")),
        }
        spreads = interleaved(runs, repetitions)
    finally:
        for cluster, client in clusters.values():
            client.close()
            cluster.close()

    reference = spreads["a. one process, sanitize_many"].median
    one_worker = spreads["b. Dask, 1 worker process"].median
    two_workers = spreads["c. Dask, 2 worker processes"].median
    overhead = one_worker / reference
    scaling = one_worker / two_workers
    verdicts = {
        "b. Dask, 1 worker process": targets.check("b. Dask 1 worker / one process", overhead, at_most=1.3),
        "c. Dask, 2 worker processes": targets.check("c. Dask 2 workers / 1 worker (speed-up)", scaling, at_least=1.6),
    }
    ratios = {"b. Dask, 1 worker process": f"{overhead:.2f}x of a", "c. Dask, 2 worker processes": f"{scaling:.2f}x faster than b"}
    table = []
    for name, spread in spreads.items():
        table.append(
            [name, f"{spread.low:.2f}", f"{spread.median:.2f}", f"{spread.high:.2f}", f"{written / MB / spread.median:.1f}"]
            + [ratios.get(name, ""), verdicts.get(name, "")]
        )
    print_table(["run", "min s", "med s", "max s", "MB/s", "ratio", "target"], table)
    print()


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--corpus", type=pathlib.Path, default=bench_texts.DEFAULT_CORPUS, help="folder of UDHR *.txt files")
    parser.add_argument("--megabytes", type=int, default=200, help="MB of text in the dataset's column")
    parser.add_argument("--files", type=int, default=32, help="Parquet files (Dask partitions)")
    parser.add_argument("--workdir", type=pathlib.Path, default=None, help="where the temporary folder goes")
    parser.add_argument("--quick", action="store_true", help="20 MB and 2 repetitions, for a look")
    args = parser.parse_args()
    megabytes, repetitions = (20, 2) if args.quick else (args.megabytes, 3)

    corpus, _ = bench_texts.load_corpus(args.corpus)
    print(f"orlenta {orlenta.__file__}")
    print(f"Python {platform.python_version()}, {os.cpu_count()} CPUs, load average {os.getloadavg()[0]:.2f} at start")
    targets = Targets()
    with tempfile.TemporaryDirectory(prefix="orlenta-dask-bench-", dir=args.workdir) as workdir:
        run(corpus, megabytes, args.files, repetitions, pathlib.Path(workdir), targets)
    print(f"load average {os.getloadavg()[0]:.2f} at end")
    targets.print_summary()
    return 0


if __name__ == "__main__":
    sys.exit(main())
