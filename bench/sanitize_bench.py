"""orlenta as Python callers see it, each figure next to a reference timed in
the same run, so that the ratios hold on any machine.

    python bench/sanitize_bench.py [--corpus DIR] [--quick]

a. per call on short chat messages, next to json.loads of the report JSON;
b. throughput per preset on ASCII prose, the corpus, emoji chat and an
   adversarial text, next to a pure-Python sanitizer; return_spans on and off;
c. two threads against one, in fresh processes and in one that has done
   other work first;
d. peak memory of one call, in a child process;
e. the queries, next to their unicodedata counterparts.

Every timing is repeated; tables give min, median and max, and ratios are
taken between medians. --quick shrinks the inputs for a look in about 15 s.
"""

import argparse
import itertools
import json
import os
import pathlib
import platform
import sys
import unicodedata
from collections import deque
from dataclasses import dataclass

import bench_texts
import orlenta
import parallel_runs
import peak_memory
import reference_sanitizer
import used_process_threads
from bench_texts import MB, utf8_size
from timing import Spread, Targets, fresh_copy, interleaved, print_table, seconds

PRESETS = ("preserve", "balanced_chat", "strict_exec", "code_mode")


@dataclass(frozen=True)
class Scale:
    repetitions: int
    chat_messages: int
    throughput_sizes: tuple[int, ...]
    thread_text_size: int
    used_process_text_size: int
    memory_ascii_size: int
    memory_non_ascii_size: int
    refusal_size: int
    skeleton_corpus_size: int | None  # None: the whole corpus
    query_chars: int


FULL = Scale(5, 5000, (MB, 10 * MB), 10 * MB, 4 * MB, 100 * MB, 10 * MB, 100 * MB, None, 100_000)
QUICK = Scale(5, 2000, (MB,), MB, MB, 10 * MB, MB, 10 * MB, MB, 50_000)


def drain(iterator) -> None:
    """Runs an iterator to its end at C speed, keeping nothing."""
    deque(iterator, maxlen=0)


def rate(spread_seconds: Spread, size: int) -> Spread:
    """MB/s (10^6 bytes) of `size` bytes per timed call."""
    return spread_seconds.inverted(size / MB)


def mb_row(label: str, spread: Spread) -> list[str]:
    return [label, f"{spread.low:.1f}", f"{spread.median:.1f}", f"{spread.high:.1f}"]


def per_call_on_chat_messages(corpus: str, scale: Scale, targets: Targets) -> None:
    messages = bench_texts.chat_messages(corpus, scale.chat_messages)
    report_jsons = [json.dumps(orlenta.sanitize(message)[1]) for message in messages]
    mean_chars = sum(map(len, messages)) / len(messages)
    mean_json = sum(map(len, report_jsons)) / len(report_jsons)
    print(f"a. Per call on {len(messages)} chat messages (corpus slices of 50-300 characters, mean {mean_chars:.0f})")
    print(f"   reference: json.loads of json.dumps(report) of the same call (mean {mean_json:.0f} characters)\n")

    def sanitize_all() -> float:
        fresh = [fresh_copy(message) for message in messages]
        return seconds(lambda: drain(map(orlenta.sanitize, fresh)))

    def loads_all() -> float:
        return seconds(lambda: drain(map(json.loads, report_jsons)))

    spreads = interleaved({"orlenta.sanitize": sanitize_all, "json.loads(report JSON)": loads_all}, scale.repetitions)
    micros = {name: spread.scaled(1e6 / len(messages)) for name, spread in spreads.items()}
    print_table(
        ["operation", "min us", "med us", "max us"],
        [[name, f"{s.low:.2f}", f"{s.median:.2f}", f"{s.high:.2f}"] for name, s in micros.items()],
    )
    ratio = micros["orlenta.sanitize"].median / micros["json.loads(report JSON)"].median
    verdict = targets.check("a. sanitize per call / json.loads", ratio, at_most=1.5)
    print(f"sanitize / json.loads: {ratio:.2f}x  (target {verdict})\n")


# Lowest balanced_chat / reference ratio wanted per kind of text.
_REFERENCE_TARGETS = {"ascii prose": 20.0, "corpus": 20.0, "adversarial": 10.0}


def throughput_texts(corpus: str, sizes: tuple[int, ...], kinds: tuple[str, ...] = ()) -> list[tuple[str, str]]:
    """(kind, text) for every kind of text (or only those named) at every size."""
    makers = {
        "ascii prose": bench_texts.ascii_prose,
        "corpus": lambda size: bench_texts.corpus_to_size(corpus, size),
        "emoji chat": bench_texts.emoji_chat,
        "adversarial": bench_texts.adversarial,
    }
    return [(kind, make(size)) for kind, make in makers.items() if not kinds or kind in kinds for size in sizes]


def label(kind: str, text: str) -> str:
    """The kind and the size in MB, rounded: a cut between code points may leave a few bytes less."""
    return f"{kind} {round(utf8_size(text) / MB, 1):g} MB"


def throughput_per_preset(corpus: str, scale: Scale, targets: Targets) -> None:
    print("b. Throughput, MB/s of UTF-8 input, next to the pure-Python reference sanitizer")
    print('   (the corpus is repeated, or sampled evenly, to size; "same" tells whether balanced_chat')
    print("   and the reference return the same text)\n")
    rows = []
    for kind, text in throughput_texts(corpus, scale.throughput_sizes):
        size = utf8_size(text)
        runs = {"reference": lambda text=text: seconds(lambda: reference_sanitizer.sanitize(text))}
        for preset in PRESETS:
            runs[preset] = lambda text=text, preset=preset: _time_sanitize(text, policy=preset)
        rates = {name: rate(spread, size) for name, spread in interleaved(runs, scale.repetitions).items()}
        same = orlenta.sanitize(text)[0] == reference_sanitizer.sanitize(text)
        for name, spread in rates.items():
            ratio = spread.median / rates["reference"].median
            target, same_column = "", ""
            if name == "balanced_chat":
                same_column = "yes" if same else "no"
                if kind in _REFERENCE_TARGETS:
                    goal = _REFERENCE_TARGETS[kind]
                    target = targets.check(f"b. balanced_chat / reference on {label(kind, text)}", ratio, at_least=goal)
            first_column = label(kind, text) if name == "reference" else ""
            rows.append([first_column, *mb_row(name, spread), f"{ratio:.1f}x", target, same_column])
    print_table(["text", "run", "min", "med", "max", "vs ref", "target", "same"], rows)
    print()


def _time_sanitize(text: str, **arguments) -> float:
    fresh = fresh_copy(text)
    return seconds(lambda: orlenta.sanitize(fresh, **arguments))


# Calls per timed batch in the return_spans comparison: one call on its
# short text takes about a millisecond, too little to time alone.
_SPANS_BATCH = 20


def _seconds_per_call(call, argument_lists: list[tuple]) -> float:
    return seconds(lambda: [call(*arguments) for arguments in argument_lists]) / len(argument_lists)


def spans_cost(scale: Scale, targets: Targets) -> None:
    text = bench_texts.adversarial_for_spans()
    report = orlenta.sanitize(text, return_spans=True)[1]
    report_json = json.dumps(report)
    print(f"   return_spans on the adversarial text, cut to {len(text)} code points ({utf8_size(text)} bytes)")
    print(f"   so that its {len(report['spans'])} span events stay under the limit of 10000 per call\n")

    def sanitize_batch(return_spans: bool) -> float:
        fresh = [(fresh_copy(text), "balanced_chat", None, None, return_spans) for _ in range(_SPANS_BATCH)]
        return _seconds_per_call(orlenta.sanitize, fresh)

    runs = {
        "return_spans=False": lambda: sanitize_batch(False),
        "return_spans=True": lambda: sanitize_batch(True),
        "json.loads(spans report JSON)": lambda: _seconds_per_call(json.loads, [(report_json,)] * _SPANS_BATCH),
    }
    millis = {name: spread.scaled(1e3) for name, spread in interleaved(runs, scale.repetitions).items()}
    print_table(
        ["run", "min ms", "med ms", "max ms"],
        [[name, f"{s.low:.3f}", f"{s.median:.3f}", f"{s.high:.3f}"] for name, s in millis.items()],
    )
    ratio = millis["return_spans=True"].median / millis["return_spans=False"].median
    verdict = targets.check("b. return_spans=True / False on adversarial", ratio, at_most=3.0)
    print(f"with spans / without: {ratio:.2f}x  (target {verdict})\n")


def two_threads_against_one(corpus: str, corpus_folder: pathlib.Path, scale: Scale, targets: Targets) -> None:
    print("c. Two threads against one: each thread sanitizes its own text (balanced_chat);")
    print("   total MB/s of input over all threads. Two processes show what the machine's")
    print("   free cores allow at the time, the ceiling for two threads\n")
    rows = []
    for kind, text in throughput_texts(corpus, (scale.thread_text_size,), ("ascii prose", "corpus")):
        size = utf8_size(text)
        runs = {
            "1 thread": lambda text=text: parallel_runs.in_threads(text, 1),
            "2 threads": lambda text=text: parallel_runs.in_threads(text, 2),
            "2 processes": lambda text=text: parallel_runs.in_processes(text, 2),
        }
        spreads = interleaved(runs, scale.repetitions)
        one = rate(spreads["1 thread"], size)
        two = rate(spreads["2 threads"], 2 * size)
        processes = rate(spreads["2 processes"], 2 * size)
        ratio = two.median / one.median
        verdict = targets.check(f"c. 2 threads / 1 thread on {label(kind, text)}", ratio, at_least=1.7)
        ceiling = processes.median / one.median
        rows.append([label(kind, text), *mb_row("", one)[1:], *mb_row("", two)[1:], f"{ratio:.2f}x", verdict])
        rows.append(["  2 processes", "", "", "", *mb_row("", processes)[1:], f"{ceiling:.2f}x", "(ceiling)"])
    headers = ["text", "1 thread: min", "med", "max", "2 threads: min", "med", "max", "vs 1", "target"]
    print_table(headers, rows)
    print()
    two_threads_in_used_process(corpus_folder, scale, targets)


def two_threads_in_used_process(corpus_folder: pathlib.Path, scale: Scale, targets: Targets) -> None:
    calls = used_process_threads.CALLS_PER_THREAD
    print("   The same in a child process that has first sanitized the whole corpus once and made")
    print(f"   {used_process_threads.SHORT_CALLS_FIRST} short calls, as a server has; each thread (or process) makes {calls} calls")
    print("   on the corpus text, which sanitizing changes. Blocked: ms per run a thread was neither")
    print("   running nor waiting for a CPU (waiting for a lock), from the kernel's counts\n")
    figures = used_process_threads.measure(corpus_folder, scale.used_process_text_size, scale.repetitions)
    size = figures.text_bytes * calls
    one = rate(Spread.of(figures.one_thread), size)
    two = rate(Spread.of(figures.two_threads), 2 * size)
    processes = rate(Spread.of(figures.two_processes), 2 * size)
    ceiling = processes.median / one.median
    of_ceiling = two.median / processes.median
    verdict = targets.check("c. 2 threads / 2 processes, process that did other work", of_ceiling, at_least=0.9)
    rows = [
        ["1 thread", *mb_row("", one)[1:], "", "", f"{figures.blocked_one:.1f}"],
        ["2 threads", *mb_row("", two)[1:], f"{two.median / one.median:.2f}x", f"{of_ceiling:.2f} {verdict}"]
        + [f"{figures.blocked_two:.1f}"],
        ["2 processes", *mb_row("", processes)[1:], f"{ceiling:.2f}x", "(ceiling)", ""],
    ]
    label_text = f"corpus {round(figures.text_bytes / MB, 1):g} MB"
    print_table([label_text, "min MB/s", "med", "max", "vs 1 thread", "of ceiling", "blocked ms"], rows)
    print()


def peak_memory_of_sanitize(corpus_folder: pathlib.Path, scale: Scale, targets: Targets) -> None:
    print("d. Peak memory of one sanitize call (balanced_chat) in a child process, beyond")
    print("   what was resident before it (the input str included). The returned str is part")
    print("   of that peak; CPython stores a str at 1, 2 or 4 bytes per character, as its widest")
    print("   character needs\n")
    cases = {
        "ascii prose": (f"text = bench_texts.ascii_prose({scale.memory_ascii_size})", scale.memory_ascii_size),
        "corpus (non-ASCII)": (
            f"corpus, _ = bench_texts.load_corpus(pathlib.Path({str(corpus_folder)!r}))\n"
            f"text = bench_texts.corpus_to_size(corpus, {scale.memory_non_ascii_size})\ndel corpus",
            scale.memory_non_ascii_size,
        ),
    }
    rows = []
    for kind, (build, size) in cases.items():
        setup = f"import pathlib, bench_texts, orlenta\n{build}\norlenta.sanitize('warm up')"
        peak = peak_memory.measure_in_child(setup, "orlenta.sanitize(text)")
        multiple = peak.beyond_before / size
        verdict = targets.check(f"d. peak beyond input / UTF-8 size, {kind} {size / MB:g} MB", multiple, at_most=5.0)
        without_returned = (peak.beyond_before - peak.returned_text) / size
        rows.append(
            [kind, f"{size / MB:g}", f"{peak.resident_before / MB:.1f}", f"{peak.beyond_before / MB:.1f}"]
            + [f"{multiple:.2f}x", verdict, f"{peak.returned_text / MB:.1f}", f"{without_returned:.2f}x", f"{peak.seconds:.2f}"]
        )
    headers = ["input", "UTF-8 MB", "resident before MB", "peak beyond MB", "x UTF-8 size", "target"]
    print_table(headers + ["returned str MB", "x without it", "seconds"], rows)
    print()


def query_chars(corpus: str, count: int) -> list[str]:
    """Characters picked evenly through the corpus: every script in it, in its proportions."""
    return list(corpus[:: max(1, len(corpus) // count)][:count])


def per_character_queries(corpus: str, scale: Scale, targets: Targets) -> None:
    chars = query_chars(corpus, scale.query_chars)
    print(f"e. Queries. Per character, over {len(chars)} characters picked evenly through the corpus\n")
    runs = {
        "unicodedata.category(ch)": lambda: seconds(lambda: drain(map(unicodedata.category, chars))),
        "is_identifier_decoration(ch)": lambda: seconds(
            lambda: drain(map(orlenta.is_identifier_decoration, chars))
        ),
        "encoded_codepoint_risk(ch, 'balanced_chat')": lambda: seconds(
            lambda: drain(map(orlenta.encoded_codepoint_risk, chars, itertools.repeat("balanced_chat")))
        ),
    }
    nanos = {name: spread.scaled(1e9 / len(chars)) for name, spread in interleaved(runs, scale.repetitions).items()}
    reference = nanos["unicodedata.category(ch)"].median
    rows = []
    for name, spread in nanos.items():
        ratio = spread.median / reference
        verdict = ""
        if not name.startswith("unicodedata"):
            verdict = targets.check(f"e. {name.split('(')[0]} / category", ratio, at_most=1.5)
        rows.append([name, f"{spread.low:.0f}", f"{spread.median:.0f}", f"{spread.high:.0f}", f"{ratio:.2f}x", verdict])
    print_table(["call", "min ns", "med ns", "max ns", "vs category", "target"], rows)
    print()


def skeleton_throughput(corpus: str, scale: Scale, targets: Targets) -> None:
    print('   normalize_for_skeleton, MB/s of UTF-8 input, next to unicodedata.normalize("NFKC")\n')
    corpus_text = corpus
    if scale.skeleton_corpus_size is not None:
        corpus_text = bench_texts.corpus_to_size(corpus, scale.skeleton_corpus_size)
    rows = []
    # Both return an ASCII str as it is, in constant time: a single call would
    # measure the clock, so such calls are timed in batches.
    for kind, text, calls in (("corpus", corpus_text, 1), ("ascii prose", bench_texts.ascii_prose(MB), 20_000)):
        size = utf8_size(text) * calls
        runs = {
            "unicodedata NFKC": lambda text=text, calls=calls: _time_unicodedata_nfkc(text, calls),
            "normalize_for_skeleton": lambda text=text, calls=calls: _time_skeleton(text, calls),
        }
        rates = {name: rate(spread, size) for name, spread in interleaved(runs, scale.repetitions).items()}
        ratio = rates["normalize_for_skeleton"].median / rates["unicodedata NFKC"].median
        verdict = targets.check(f"e. normalize_for_skeleton / unicodedata NFKC on {kind}", ratio, at_least=1.0)
        rows.append([label(kind, text), *mb_row("unicodedata NFKC", rates["unicodedata NFKC"]), "", ""])
        rows.append(["", *mb_row("normalize_for_skeleton", rates["normalize_for_skeleton"]), f"{ratio:.2f}x", verdict])
    print_table(["text", "run", "min", "med", "max", "vs NFKC", "target"], rows)
    print("   (unicodedata returns an ASCII str as it is, from the str's ASCII flag, without reading it)\n")


def _time_unicodedata_nfkc(text: str, calls: int) -> float:
    return seconds(lambda: drain(map(unicodedata.normalize, itertools.repeat("NFKC", calls), itertools.repeat(text, calls))))


def _time_skeleton(text: str, calls: int) -> float:
    """`calls` calls on one new copy: the first pays for its UTF-8 form."""
    fresh = fresh_copy(text)
    limit = len(fresh)
    return seconds(
        lambda: drain(map(orlenta.normalize_for_skeleton, itertools.repeat(fresh, calls), itertools.repeat(limit, calls)))
    )


def _refuse(text: str) -> None:
    try:
        orlenta.normalize_for_skeleton(text, max_chars=len(text) - 1)
    except ValueError:
        return
    raise RuntimeError("normalize_for_skeleton accepted a text longer than max_chars")


def skeleton_bounds(scale: Scale) -> None:
    text = bench_texts.ascii_prose(scale.refusal_size)
    data = text.encode("ascii")
    size = len(data)
    print(f"   Refusing {size / MB:g} MB of ASCII prose (max_chars = its length - 1), next to")
    print('   bytes.count(b"\\x80") over its UTF-8 bytes: one compare-and-count per byte, the')
    print("   work of counting code points (the bytes that are not continuation bytes)\n")
    runs = {
        'bytes.count(b"\\x80")': lambda: seconds(lambda: data.count(b"\x80")),
        "normalize_for_skeleton refusal": lambda: seconds(lambda: _refuse(text)),
    }
    millis = {name: spread.scaled(1e3) for name, spread in interleaved(runs, scale.repetitions).items()}
    reference = millis['bytes.count(b"\\x80")'].median
    rows = [
        [name, f"{s.low:.1f}", f"{s.median:.1f}", f"{s.high:.1f}", f"{size / s.median / 1e6:.2f}", f"{s.median / reference:.2f}x"]
        for name, s in millis.items()
    ]
    print_table(["run", "min ms", "med ms", "max ms", "GB/s", "vs count"], rows)
    del text, data

    print("\n   One million U+FDFA (18 code points each under NFKC) with max_chars=1000000,")
    print("   in a child process each, next to the full NFKC by unicodedata\n")
    setup = "import unicodedata, orlenta\ntext = '\\ufdfa' * 1_000_000\norlenta.normalize_for_skeleton('warm up')"
    cases = {
        "normalize_for_skeleton": "orlenta.normalize_for_skeleton(text, max_chars=1_000_000)",
        "unicodedata NFKC (full)": "unicodedata.normalize('NFKC', text)",
    }
    peaks = {name: peak_memory.measure_in_child(setup, expression) for name, expression in cases.items()}
    full = peaks["unicodedata NFKC (full)"]
    rows = [
        [name, f"{p.seconds * 1e3:.1f}", f"{p.seconds / full.seconds:.3f}x", f"{p.beyond_before / MB:.1f}"]
        + [f"{p.beyond_before / full.beyond_before:.3f}x", p.outcome]
        for name, p in peaks.items()
    ]
    print_table(["run", "ms", "vs full", "peak beyond MB", "vs full", "outcome"], rows)
    print()


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument(
        "--corpus", type=pathlib.Path, default=bench_texts.DEFAULT_CORPUS, help="folder of UDHR *.txt files"
    )
    parser.add_argument("--quick", action="store_true", help="smaller inputs, about 15 s")
    args = parser.parse_args()
    scale = QUICK if args.quick else FULL

    corpus, file_count = bench_texts.load_corpus(args.corpus)
    print(f"orlenta {orlenta.__file__}")
    print(f"Python {platform.python_version()}, {os.cpu_count()} CPUs, load average {os.getloadavg()[0]:.2f} at start")
    print(f"corpus: {file_count} files, {utf8_size(corpus)} bytes, from {args.corpus}; {scale.repetitions} repetitions\n")

    targets = Targets()
    per_call_on_chat_messages(corpus, scale, targets)
    throughput_per_preset(corpus, scale, targets)
    spans_cost(scale, targets)
    two_threads_against_one(corpus, args.corpus, scale, targets)
    peak_memory_of_sanitize(args.corpus, scale, targets)
    per_character_queries(corpus, scale, targets)
    skeleton_throughput(corpus, scale, targets)
    skeleton_bounds(scale)
    print(f"load average {os.getloadavg()[0]:.2f} at end")
    targets.print_summary()
    return 0


if __name__ == "__main__":
    sys.exit(main())
