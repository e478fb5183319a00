"""Two threads against one in a process that has done other work first, as
a server has: one sanitize of the whole corpus and 200 short calls before
anything is timed. The figures are taken in a child process, so that what
the benchmark measured before does not change them.

In a fresh process every large buffer is a new mapping whose pages fault
in; once a large buffer has been freed, the allocator serves later ones
from memory it keeps, and what is left to share is what runs with the
interpreter lock held (turning the str into UTF-8 and the result back into
a str). That is why the two kinds of process scale differently.

The ceiling's two processes are forked from the child once, before anything
is timed, and serve every run: forking for each run left the pages of both
sides copy-on-write, so that the next runs of the threads paid several
thousand page faults that no server pays (a fifth of their time) and the
processes paid them too.

Also reports, per thread, the time it was blocked (neither running nor
waiting for a CPU): waiting for the interpreter lock or another lock. It
comes from /proc/thread-self/schedstat, so it stays meaningful on a busy
machine, where the wall-clock ratios do not.

    python bench/used_process_threads.py [--corpus DIR] [--size BYTES] [--repetitions N]
"""

import argparse
import json
import os
import pathlib
import statistics
import subprocess
import sys
import threading
import time
from dataclasses import dataclass

_BENCH_DIR = pathlib.Path(__file__).resolve().parent

# Calls each thread (or process) makes in one timed run.
CALLS_PER_THREAD = 2
SHORT_CALLS_FIRST = 200


@dataclass(frozen=True)
class UsedProcessFigures:
    one_thread: list[float]  # seconds per run
    two_threads: list[float]
    two_processes: list[float]
    blocked_one: float  # median ms a thread was blocked, per run
    blocked_two: float
    text_bytes: int


def measure(corpus_folder: pathlib.Path, size: int, repetitions: int) -> UsedProcessFigures:
    """Runs this file as a child process and reads its figures."""
    child = subprocess.run(
        [sys.executable, __file__, "--child", "--corpus", str(corpus_folder), "--size", str(size)]
        + ["--repetitions", str(repetitions)],
        capture_output=True,
        text=True,
        check=False,
    )
    if child.returncode != 0:
        raise RuntimeError(f"used-process child failed:\n{child.stderr}")
    return UsedProcessFigures(**json.loads(child.stdout.splitlines()[-1]))


def _blocked_ns() -> tuple[int, int]:
    """(nanoseconds on a CPU, nanoseconds waiting for one) of this thread."""
    with open("/proc/thread-self/schedstat", encoding="ascii") as schedstat:
        running, waiting, _ = map(int, schedstat.read().split())
    return running, waiting


def _blocked_in_threads(text: str, count: int, samples: list[float]) -> None:
    """One run of `count` threads, appending each thread's blocked ms."""
    import orlenta
    from timing import fresh_copy

    def work(copies: list[str]) -> None:
        running, waiting = _blocked_ns()
        start = time.perf_counter_ns()
        for copy in copies:
            orlenta.sanitize(copy)
        elapsed = time.perf_counter_ns() - start
        now_running, now_waiting = _blocked_ns()
        samples.append((elapsed - (now_running - running) - (now_waiting - waiting)) / 1e6)

    copies = [[fresh_copy(text) for _ in range(CALLS_PER_THREAD)] for _ in range(count)]
    threads = [threading.Thread(target=work, args=(own,)) for own in copies]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()


def _child(corpus_folder: pathlib.Path, size: int, repetitions: int) -> None:
    sys.path.insert(0, str(_BENCH_DIR))
    import bench_texts
    import orlenta
    import parallel_runs
    from timing import fresh_copy

    corpus, _ = bench_texts.load_corpus(corpus_folder)
    text = bench_texts.corpus_to_size(corpus, size)
    if not orlenta.sanitize(text)[1]["changed"]:
        raise SystemExit("the text must be one that sanitizing changes")
    # The work a long-running process has done before.
    orlenta.sanitize(fresh_copy(corpus))
    for message in bench_texts.chat_messages(corpus, SHORT_CALLS_FIRST):
        orlenta.sanitize(message)
    del corpus

    with parallel_runs.LastingProcesses(text, 2, CALLS_PER_THREAD) as processes:
        runs = {
            "one": lambda: parallel_runs.in_threads(text, 1, CALLS_PER_THREAD),
            "two": lambda: parallel_runs.in_threads(text, 2, CALLS_PER_THREAD),
            "processes": processes.run,
        }
        # One of each in turn, so that drifting load touches every run alike;
        # the first round only settles the pages the fork left shared.
        samples: dict[str, list[float]] = {name: [] for name in runs}
        for repetition in range(repetitions + 1):
            for name, run in runs.items():
                seconds = run()
                if repetition > 0:
                    samples[name].append(seconds)
    blocked: dict[int, list[float]] = {1: [], 2: []}
    if os.path.exists("/proc/thread-self/schedstat"):
        for _ in range(repetitions):
            for count in (1, 2):
                _blocked_in_threads(text, count, blocked[count])
    figures = UsedProcessFigures(
        one_thread=samples["one"],
        two_threads=samples["two"],
        two_processes=samples["processes"],
        blocked_one=statistics.median(blocked[1]) if blocked[1] else float("nan"),
        blocked_two=statistics.median(blocked[2]) if blocked[2] else float("nan"),
        text_bytes=len(text.encode("utf-8")),
    )
    print(json.dumps(figures.__dict__))


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--corpus", type=pathlib.Path, default=_BENCH_DIR / ".." / ".." / "shared" / "corpus" / "udhr")
    parser.add_argument("--size", type=int, default=4_000_000, help="UTF-8 bytes of the corpus text")
    parser.add_argument("--repetitions", type=int, default=7)
    parser.add_argument("--child", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child:
        _child(args.corpus, args.size, args.repetitions)
        return 0
    figures = measure(args.corpus, args.size, args.repetitions)
    one, two, processes = (statistics.median(v) for v in (figures.one_thread, figures.two_threads, figures.two_processes))
    print(f"2 threads / 1: {2 * one / two:.2f}x, 2 processes / 1: {2 * one / processes:.2f}x, "
          f"threads / ceiling: {processes / two:.2f}; blocked ms per thread: "
          f"{figures.blocked_one:.1f} alone, {figures.blocked_two:.1f} beside another")
    return 0


if __name__ == "__main__":
    sys.exit(main())
