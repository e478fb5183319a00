"""sanitize_many and sanitize_iter, each figure next to a reference timed in
the same run.

    python bench/batch_bench.py [--corpus DIR] [--quick]

a. 10,000 chat messages of 50 to 300 characters (slices of the UDHR corpus
   and of emoji chat): sanitize_many in each report form and worker count,
   next to a Python loop over sanitize, with the CPU time per text of the
   calling thread (which builds every result) and of all threads, the
   speed-up that CPU time allows on this machine, and the time to release
   the results afterwards, which the ratios leave out;
b. peak memory of sanitize_iter over texts from a generator, results
   discarded as they come, in a child process: it should stay flat, a few
   chunks' worth, whatever the total.
"""

import argparse
import gc
import os
import platform
import statistics
import sys
import time
from collections import deque

import bench_texts
import orlenta
import peak_memory
from timing import Targets, fresh_copy, interleaved, print_table, seconds

MB = 1_000_000


def many_against_loop(messages: list[str], repetitions: int, targets: Targets) -> None:
    cpus = len(os.sched_getaffinity(0))
    print(f"a. {len(messages)} chat messages, balanced_chat, {cpus} CPUs\n")
    # CPU seconds of the calling thread and of the whole process per run: on
    # a shared machine they show which side bounds a run, where wall time
    # mostly shows the other engineers' load.
    cpu: dict[str, list[tuple[float, float]]] = {}
    # Seconds to release each run's results, which both sides pay alike
    # once the caller drops them (about a microsecond a text for dicts):
    # the clock stops before, so that the ratios compare the calls.
    release: dict[str, list[float]] = {}

    def timed(call, name):
        def run() -> float:
            texts = [fresh_copy(text) for text in messages]
            # Every run starts from empty young generations: otherwise a
            # full collection, which costs up to a microsecond a text here,
            # falls in one run or the next depending on the run before.
            gc.collect()
            calling, everything = time.thread_time(), time.process_time()
            start = time.perf_counter()
            results = call(texts)
            wall = time.perf_counter() - start
            cpu.setdefault(name, []).append((time.thread_time() - calling, time.process_time() - everything))
            release.setdefault(name, []).append(seconds(results.clear))
            return wall

        return run

    calls = {
        "loop over sanitize": lambda texts: [orlenta.sanitize(text) for text in texts],
        "report=dict, workers=2": lambda texts: orlenta.sanitize_many(texts, workers=2),
        "report=dict, workers=1": lambda texts: orlenta.sanitize_many(texts, workers=1),
        "report=json, workers=2": lambda texts: orlenta.sanitize_many(texts, report="json", workers=2),
        "report=None, workers=2": lambda texts: orlenta.sanitize_many(texts, report=None, workers=2),
    }
    runs = {name: timed(call, name) for name, call in calls.items()}
    spreads = interleaved(runs, repetitions)
    loop = spreads["loop over sanitize"].median
    goals = {"report=dict, workers=2": 3, "report=dict, workers=1": 2, "report=json, workers=2": 6}
    rows = []
    for name, spread in spreads.items():
        ratio = loop / spread.median
        verdict = targets.check(name, ratio, at_least=goals[name]) if name in goals else ""
        per_text = spread.scaled(1e6 / len(messages))
        calling, everything = (statistics.median(sample) * 1e6 / len(messages) for sample in zip(*cpu[name]))
        released = statistics.median(release[name]) * 1e6 / len(messages)
        # No run is faster than its calling thread's CPU time, which builds
        # the results one after another, nor than all its threads' CPU time
        # spread over every CPU: the most this run's work allows here.
        ceiling = loop * 1e6 / len(messages) / max(calling, everything / cpus)
        rows.append(
            [
                name,
                f"{per_text.low:.2f}",
                f"{per_text.median:.2f}",
                f"{per_text.high:.2f}",
                f"{calling:.2f}",
                f"{everything:.2f}",
                f"{released:.2f}",
                f"{ratio:.2f}x",
                f"{ceiling:.2f}x",
                verdict,
            ]
        )
    headers = ["run", "min us/text", "med us/text", "max us/text"]
    headers += ["calling cpu", "all cpu", "release", "vs loop", "allows", "target"]
    print_table(headers, rows)
    print()


def iter_memory(total: int) -> None:
    print(f"b. peak memory of sanitize_iter over {total // MB} MB of texts from a generator\n")
    setup = "\n".join(
        [
            "import collections, orlenta",
            "line = 'Everyone has the right to life, liberty and security of person. \\u00e9\\u200b ' * 40",
            f"count = {total} // len(line.encode())",
            "def texts():",
            "    for i in range(count):",
            "        yield line[i % 7:]",
        ]
    )
    rows = []
    for workers in (1, 2):
        peak = peak_memory.measure_in_child(
            setup, f"collections.deque(orlenta.sanitize_iter(texts(), report=None, workers={workers}), maxlen=0)"
        )
        rows.append([f"workers={workers}", f"{peak.seconds:.1f}", f"{total / MB / peak.seconds:.0f}", f"{peak.beyond_before / MB:.1f}"])
    print_table(["run", "seconds", "MB/s", "peak beyond MB"], rows)
    print()


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--corpus", default=bench_texts.DEFAULT_CORPUS, help="folder of UDHR *.txt files")
    parser.add_argument("--quick", action="store_true", help="fewer repetitions and 100 MB for the memory run")
    args = parser.parse_args()
    corpus, _ = bench_texts.load_corpus(bench_texts.pathlib.Path(args.corpus))
    print(f"orlenta {orlenta.__file__}")
    print(f"Python {platform.python_version()}, load average {os.getloadavg()[0]:.2f} at start\n")
    targets = Targets()
    many_against_loop(bench_texts.mixed_chat_messages(corpus, 10_000), 3 if args.quick else 7, targets)
    iter_memory(100 * MB if args.quick else 1000 * MB)
    print(f"load average {os.getloadavg()[0]:.2f} at end")
    targets.print_summary()
    return 0


if __name__ == "__main__":
    sys.exit(main())
