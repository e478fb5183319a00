"""orlenta.reveal throughput on 10 MB texts, next to a regex scan of the
same text, timed in the same run.

    python bench/reveal_bench.py [--corpus DIR] [--size MB]

The reference, ``re.search("[\\u202a-\\u202e\\u2066-\\u2069]", text)``, is the
least any pure-Python look for hidden code points costs: one pass of the
regex engine that finds nothing. reveal makes such a pass over ASCII text
and a native one over a copy of any other, then reads each run it finds. The adversarial text is
the one of bench_texts (about one code point in five hidden), to show the
cost of reading runs; the 100 MB/s goal is for prose.
"""

import argparse
import os
import pathlib
import re

import bench_texts
from bench_texts import MB, utf8_size
from timing import Targets, interleaved, print_table, seconds

import orlenta

REPETITIONS = 5
GOAL_MB_PER_S = 100.0
ABSENT = re.compile("[\u2028\u2029\U000f0000-\U000f00ff]")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--corpus", default=str(bench_texts.DEFAULT_CORPUS))
    parser.add_argument("--size", type=float, default=10.0, help="MB per text (default 10)")
    options = parser.parse_args()
    size = int(options.size * MB)
    corpus, _ = bench_texts.load_corpus(pathlib.Path(options.corpus))
    texts = {
        "ascii prose": bench_texts.ascii_prose(size),
        "corpus": bench_texts.corpus_to_size(corpus, size),
        "emoji chat": bench_texts.emoji_chat(size),
        "adversarial": bench_texts.adversarial(size),
    }
    targets = Targets()
    rows = []
    for kind, text in texts.items():
        megabytes = utf8_size(text) / MB
        spreads = interleaved(
            {
                "regex scan": lambda text=text: seconds(lambda: ABSENT.search(text)),
                "reveal": lambda text=text: seconds(lambda: orlenta.reveal(text)),
            },
            REPETITIONS,
        )
        rates = {name: spread.inverted(megabytes) for name, spread in spreads.items()}
        ratio = rates["reveal"].median / rates["regex scan"].median
        verdict = ""
        if kind != "adversarial":
            verdict = targets.check(f"reveal on {kind}, MB/s / {GOAL_MB_PER_S:g}", rates["reveal"].median / GOAL_MB_PER_S,
                                    at_least=1.0)
        runs = len(orlenta.reveal(text))
        rows.append([f"{kind} {megabytes:.1f} MB", f"{rates['regex scan'].median:.0f}", f"{rates['reveal'].low:.1f}",
                     f"{rates['reveal'].median:.1f}", f"{rates['reveal'].high:.1f}", f"{ratio:.2f}", str(runs), verdict])
    load = " ".join(f"{load:.2f}" for load in os.getloadavg())
    print(f"reveal, MB/s of UTF-8 input (median of {REPETITIONS}), next to a regex scan that finds nothing; "
          f"load average {load}\n")
    print_table(["text", "scan med", "reveal min", "med", "max", "reveal / scan", "runs", f"goal {GOAL_MB_PER_S:g} MB/s"],
                rows)
    print()
    targets.print_summary()


if __name__ == "__main__":
    main()
