"""``orlenta reveal [FILE|-]``: what a file hides, run by run.

Each run is printed as ``PATH:LINE:COLUMN: KIND ESCAPES`` (line and column
count from 1, the column in code points), an encoded payload as
``PATH:LINE:COLUMN: KIND ENCODING, SIZE bytes``, followed by what it says
when it carries a known encoding; every line with bidi controls is then shown twice:
logical, in the order it is stored (the order a compiler or a model reads),
and visual, in the order a reader sees. ``--format json`` prints the same as
one JSON object.
The exit status is 0 when nothing is hidden, 1 when something is, 2 when
the file cannot be read.
"""

from __future__ import annotations

import argparse
import bisect
import json
import re
import sys
from typing import Any, TextIO

from orlenta.reveal import HIDDEN_CODE_POINTS, HiddenRun, reveal, visual_order

NOTHING_HIDDEN, REVEALED, CANNOT_READ = 0, 1, 2

# Code points listed in a run's line before the rest is only counted.
SHOWN_CODE_POINTS = 8

# What is escaped when a line is shown: the hidden code points, and line
# breaks other than the line feed, which would split the shown line.
_ESCAPED = re.compile(f"[{HIDDEN_CODE_POINTS}\r\u2028\u2029]")


def register(subparsers: Any) -> None:
    """Adds the reveal parser to an argparse subparsers action."""
    parser = subparsers.add_parser(
        "reveal",
        help="show every hidden run in a file and what it says",
        description="Lists every run of hidden code points in FILE with its line and column, what it is and, "
        "where it carries a known encoding, what it says; also joiners out of context and encoded payloads "
        "(base64, hex, percent-encoding) with what they decode to; shows each line with bidi controls in logical order "
        "(as stored) and in visual order (as seen). Exits with 0 when nothing is hidden, 1 when something is, "
        "2 when FILE cannot be read.",
    )
    parser.add_argument("file", nargs="?", default="-", metavar="FILE", help="the file to read; - or none for standard input")
    parser.add_argument("--format", choices=("text", "json"), default="text", help="text for people (default), json for programs")
    parser.set_defaults(run=run)


def run(args: argparse.Namespace) -> int:
    label = "<stdin>" if args.file == "-" else args.file
    try:
        text = _read(args.file)
    except OSError as error:
        print(f"orlenta reveal: {label}: {error.strerror or error}", file=sys.stderr)
        return CANNOT_READ
    except UnicodeDecodeError as error:
        print(f"orlenta reveal: {label}: not UTF-8 text (byte {error.start} cannot be decoded)", file=sys.stderr)
        return CANNOT_READ
    runs = reveal(text)
    if args.format == "json":
        _write_json(sys.stdout, label, text, runs)
    else:
        _write_text(sys.stdout, label, text, runs)
    return REVEALED if runs else NOTHING_HIDDEN


def _read(path: str) -> str:
    if path == "-":
        return sys.stdin.buffer.read().decode("utf-8")
    with open(path, "rb") as file:
        return file.read().decode("utf-8")


class _Lines:
    """Line and column, from 1, of code point offsets into a text split at
    line feeds."""

    def __init__(self, text: str) -> None:
        self.text = text
        self.starts = [0] + [found.end() for found in re.finditer("\n", text)]

    def number(self, offset: int) -> int:
        return bisect.bisect_right(self.starts, offset)

    def column(self, offset: int) -> int:
        return offset - self.starts[self.number(offset) - 1] + 1

    def line(self, number: int) -> str:
        end = self.starts[number] - 1 if number < len(self.starts) else len(self.text)
        return self.text[self.starts[number - 1] : end]


def _escaped(text: str) -> str:
    return _ESCAPED.sub(lambda found: f"<U+{ord(found[0]):04X}>", text)


def _code_point_escapes(run: HiddenRun) -> str:
    shown = "".join(f"<U+{cp:04X}>" for cp in run.code_points[:SHOWN_CODE_POINTS])
    if len(run.code_points) > SHOWN_CODE_POINTS:
        shown += f"… ({len(run.code_points)} code points)"
    return shown


def _what_it_is(run: HiddenRun) -> str:
    """The escapes of a run's code points; for an encoded payload, which is
    visible text, its encoding and decoded size."""
    if run.encoding is None:
        return _code_point_escapes(run)
    if run.payload is None:
        return f"{run.encoding}, does not decode"
    size = len(run.payload.encode("utf-8")) if run.kind == "encoded_text" else len(run.payload) // 2
    return f"{run.encoding}, {size} bytes"


def _bidi_line_numbers(runs: list[HiddenRun], lines: _Lines) -> list[int]:
    return sorted({lines.number(run.start) for run in runs if run.kind == "bidi"})


def _write_text(out: TextIO, label: str, text: str, runs: list[HiddenRun]) -> None:
    if not runs:
        print(f"{label}: nothing hidden", file=out)
        return
    lines = _Lines(text)
    for run in runs:
        where = f"{label}:{lines.number(run.start)}:{lines.column(run.start)}"
        said = ""
        if run.payload is not None:
            said = f" says {json.dumps(run.payload, ensure_ascii=False)}" + (" (guess)" if run.guess else "")
        print(f"{where}: {run.kind} {_what_it_is(run)}{said}", file=out)
    for number in _bidi_line_numbers(runs, lines):
        line = lines.line(number)
        print(f"{label}:{number}: logical: {_escaped(line)}", file=out)
        print(f"{label}:{number}: visual:  {_escaped(visual_order(line))}", file=out)


def _write_json(out: TextIO, label: str, text: str, runs: list[HiddenRun]) -> None:
    lines = _Lines(text)
    document = {
        "path": label,
        "runs": [
            {
                "kind": run.kind,
                "line": lines.number(run.start),
                "column": lines.column(run.start),
                "start": run.start,
                "end": run.end,
                "code_points": [f"U+{cp:04X}" for cp in run.code_points],
                "payload": run.payload,
                "guess": run.guess,
                "encoding": run.encoding,
            }
            for run in runs
        ],
        "bidi_lines": [
            {"line": number, "logical": lines.line(number), "visual": visual_order(lines.line(number))}
            for number in _bidi_line_numbers(runs, lines)
        ],
    }
    # ASCII-only JSON: the hidden code points arrive as \u escapes, inert in a
    # terminal or a log.
    json.dump(document, out, indent=2)
    out.write("\n")
