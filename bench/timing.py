"""Wall-clock timing, spreads over repetitions, tables and target verdicts."""

import statistics
import time
from dataclasses import dataclass, field
from typing import Callable


@dataclass(frozen=True)
class Spread:
    low: float
    median: float
    high: float

    @classmethod
    def of(cls, values: list[float]) -> "Spread":
        return cls(min(values), statistics.median(values), max(values))

    def scaled(self, factor: float) -> "Spread":
        return Spread(self.low * factor, self.median * factor, self.high * factor)

    def inverted(self, numerator: float) -> "Spread":
        """numerator / value, e.g. seconds into MB/s; the order of the ends flips."""
        return Spread(numerator / self.high, numerator / self.median, numerator / self.low)


def seconds(call: Callable[[], object]) -> float:
    start = time.perf_counter()
    call()
    return time.perf_counter() - start


def fresh_copy(text: str) -> str:
    """An equal str that is a new object.

    A str caches its UTF-8 form the first time C code asks for it, so a
    second sanitize of the same object would skip the encoding that every
    newly received text pays for.
    """
    return (text + " ")[:-1]


def interleaved(runs: dict[str, Callable[[], float]], repetitions: int) -> dict[str, Spread]:
    """Seconds per run, each run once per repetition in turn, so that drifting
    machine load touches every run alike."""
    samples: dict[str, list[float]] = {name: [] for name in runs}
    for _ in range(repetitions):
        for name, run in runs.items():
            samples[name].append(run())
    return {name: Spread.of(values) for name, values in samples.items()}


def print_table(headers: list[str], rows: list[list[str]]) -> None:
    """Left-aligned first column, right-aligned numbers."""
    widths = [max(len(str(cell)) for cell in column) for column in zip(headers, *rows)]

    def line(cells: list[str]) -> str:
        first, *rest = cells
        return "  ".join([str(first).ljust(widths[0])] + [str(c).rjust(w) for c, w in zip(rest, widths[1:])])

    print(line(headers))
    for row in rows:
        print(line(row))


@dataclass
class Targets:
    """Ratio targets: printed next to their measurement and tallied at the end."""

    met: list[str] = field(default_factory=list)
    missed: list[str] = field(default_factory=list)

    def check(self, name: str, ratio: float, at_least: float | None = None, at_most: float | None = None) -> str:
        if at_least is not None:
            ok, goal = ratio >= at_least, f">= {at_least:g}x"
        else:
            ok, goal = ratio <= at_most, f"<= {at_most:g}x"
        verdict = f"{goal} {'ok' if ok else 'MISSED'}"
        (self.met if ok else self.missed).append(f"{name}: {ratio:.2f}x, target {goal}")
        return verdict

    def print_summary(self) -> None:
        print(f"targets met: {len(self.met)} of {len(self.met) + len(self.missed)}")
        for entry in self.missed:
            print(f"  missed: {entry}")
