"""`orlenta check` next to GNU grep and next to an empty interpreter, timed in
the same run, so that the ratios hold on any machine.

    python bench/check_bench.py [--corpus DIR] [--megabytes 100] [--repetitions 3]

a. a tree of at least --megabytes, copies of the UDHR corpus and the source
   trees of DIR/code with a few hazards planted, outside any git work tree:
   MB/s of `orlenta check`, of `orlenta check --signals` (which also runs
   the detectors of orlenta.analyze on every file) and of `grep -rlP`
   searching the same files for the bidi controls and zero-width
   characters, and the cores each kept busy (CPU time over wall time);
b. `orlenta check` of one small file against `python -c pass`, many runs
   of each in turn, the ratio of the medians and of the fastest runs.

The load average at the end of each part is printed with it: the other processes
on the machine slow both sides of a ratio, but not always alike.
"""

import argparse
import os
import pathlib
import resource
import shutil
import subprocess
import sys
import tempfile

from timing import Spread, interleaved

BIDI_AND_ZERO_WIDTH = r"[\x{202A}-\x{202E}\x{2066}-\x{2069}\x{200B}-\x{200F}\x{2060}\x{FEFF}]"
HAZARDS = ("\u202e", "\u2066", "\u200b", "\u2060")
PLANTED_FILES = 20
SCRIPT = str(pathlib.Path(sys.executable).parent / "orlenta")


def build_tree(corpus: pathlib.Path, root: pathlib.Path, megabytes: int) -> int:
    """Copies the sources into root until it holds `megabytes`; returns its size."""
    sources = [corpus / "udhr", corpus / "code"]
    size = 0
    copy = 0
    while size < megabytes * 1_000_000:
        for source in sources:
            shutil.copytree(source, root / f"{copy}-{source.name}")
        copy += 1
        size = sum(path.stat().st_size for path in root.rglob("*") if path.is_file())
    texts = sorted(path for path in root.rglob("*.txt") if path.is_file())
    for index, path in enumerate(texts[:: max(1, len(texts) // PLANTED_FILES)][:PLANTED_FILES]):
        with open(path, "a", encoding="utf-8") as file:
            file.write(f"planted {HAZARDS[index % len(HAZARDS)]} here\n")
    return size


def timed_children(command: list[str], expected: set[int]) -> tuple[float, float]:
    """Wall seconds and CPU seconds (user and system) of one child process."""
    import time

    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                            env={**os.environ, "LC_ALL": "C.UTF-8"})
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if result.returncode not in expected:
        raise SystemExit(f"{command[0]} exited {result.returncode}: {result.stderr.decode()[-400:]}")
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def tree_figures(tree: pathlib.Path, size: int, repetitions: int) -> None:
    commands = {
        "orlenta check": ([SCRIPT, "check", "--format", "json", str(tree)], {1}),
        "check --signals": ([SCRIPT, "check", "--signals", "--format", "json", str(tree)], {1}),
        "grep -rlP": (["grep", "-rlP", BIDI_AND_ZERO_WIDTH, str(tree)], {0}),
    }
    cpu: dict[str, list[float]] = {name: [] for name in commands}

    def run(name: str) -> float:
        wall, used = timed_children(*commands[name])
        cpu[name].append(used / wall)
        return wall

    for name in commands:  # warms the page cache
        run(name)
        cpu[name].clear()
    spreads = interleaved({name: (lambda name=name: run(name)) for name in commands}, repetitions)
    megabytes = size / 1_000_000
    print(f"a. tree of {megabytes:.0f} MB, {repetitions} runs each, load average {load_average()}")
    print(f"   {'command':<16} {'MB/s (min / median / max)':<30} cores busy")
    for name, spread in spreads.items():
        rate = spread.inverted(megabytes)
        busy = sorted(cpu[name])[len(cpu[name]) // 2]
        print(f"   {name:<16} {rate.low:7.0f} / {rate.median:7.0f} / {rate.high:7.0f}      {busy:.2f}")
    ratio = spreads["grep -rlP"].median / spreads["orlenta check"].median
    print(f"   orlenta check runs at {ratio:.2f} x the speed of grep (target: at least 1)")
    signals = spreads["check --signals"].median / spreads["orlenta check"].median
    print(f"   check --signals takes {signals:.2f} x the time of check")


def load_average() -> str:
    return " ".join(f"{load:.2f}" for load in os.getloadavg())


def start_up_figures(repetitions: int) -> None:
    with tempfile.TemporaryDirectory() as folder:
        small = pathlib.Path(folder) / "small.py"
        small.write_text("print('hello')\n")
        runs = {
            "python -c pass": lambda: timed_children([sys.executable, "-c", "pass"], {0})[0],
            "orlenta check small.py": lambda: timed_children([SCRIPT, "check", str(small)], {0})[0],
        }
        spreads: dict[str, Spread] = interleaved(runs, repetitions)
    print(f"b. one small file, {repetitions} runs each (ms, min / median / max), load average {load_average()}")
    for name, spread in spreads.items():
        scaled = spread.scaled(1000)
        print(f"   {name:<24} {scaled.low:6.1f} / {scaled.median:6.1f} / {scaled.high:6.1f}")
    check, empty = spreads["orlenta check small.py"], spreads["python -c pass"]
    print(f"   orlenta check takes {check.median / empty.median:.2f} x the time of python -c pass by the medians, "
          f"{check.low / empty.low:.2f} x by the fastest runs (target: at most 3)")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--corpus", type=pathlib.Path, default=pathlib.Path(__file__).resolve().parents[2] / "shared" / "corpus")
    parser.add_argument("--megabytes", type=int, default=100)
    parser.add_argument("--repetitions", type=int, default=5)
    args = parser.parse_args()
    if shutil.which("grep") is None:
        raise SystemExit("GNU grep is needed as the reference")
    with tempfile.TemporaryDirectory(prefix="orlenta-check-bench-") as folder:
        tree = pathlib.Path(folder) / "tree"
        tree.mkdir()
        size = build_tree(args.corpus, tree, args.megabytes)
        tree_figures(tree, size, args.repetitions)
    start_up_figures(60)


if __name__ == "__main__":
    main()
