"""``orlenta sanitize``: one text through sanitize, as a filter."""

from __future__ import annotations

import argparse
import json
import sys

from orlenta.cli.files import STDIN
from orlenta.cli.usage import HelpFormatter, UsageError, add_policy_option

DESCRIPTION = """\
Writes the sanitized text of FILE (or of standard input) to standard output
and the report as JSON to standard error, or to --report FILE. The options
are those of orlenta.sanitize().

exit status: 0 done, 2 usage error, an input that could not be read or is
not UTF-8, or a report past the span limit."""

# The output is written in pieces of this many characters, so that it is
# never encoded whole a second time.
WRITE_CHARS = 1 << 20


def register(subparsers: argparse._SubParsersAction[argparse.ArgumentParser]) -> None:
    parser = subparsers.add_parser(
        "sanitize",
        help="sanitize one text to standard output",
        description=DESCRIPTION,
        formatter_class=HelpFormatter,
    )
    parser.add_argument("file", nargs="?", default=STDIN, metavar="FILE|-", help="the input (default: -)")
    add_policy_option(parser, "balanced_chat", "the policy, a preset or an alias (default: balanced_chat)")
    parser.add_argument("--normalization", choices=("NFC", "NFKC"), type=str.upper,
                        help="overrides the policy's normalization form")
    parser.add_argument("--tidy", action=argparse.BooleanOptionalAction, default=None,
                        help="overrides whether the policy tidies whitespace")
    parser.add_argument("--spans", action="store_true", help="list every removal and flag in the report")
    parser.add_argument("--report", metavar="FILE", help="write the report here instead of to standard error")
    parser.set_defaults(run=run)


def read_text(name: str) -> str:
    try:
        if name == STDIN:
            data = sys.stdin.buffer.read()
        else:
            with open(name, "rb") as file:
                data = file.read()
    except OSError as error:
        raise UsageError(f"{name}: {error.strerror or error}") from None
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError as error:
        raise UsageError(f"{name}: not UTF-8 at byte {error.start}") from None


def run(args: argparse.Namespace) -> int:
    from orlenta import sanitize

    text = read_text(args.file)
    try:
        clean, report = sanitize(text, args.policy, args.normalization, args.tidy, args.spans)
    except ValueError as error:
        raise UsageError(str(error)) from None
    # Only what sanitize itself needs is held: the input goes before the
    # output is written.
    del text
    out = sys.stdout.buffer
    for start in range(0, len(clean), WRITE_CHARS):
        out.write(clean[start : start + WRITE_CHARS].encode("utf-8"))
    out.flush()
    report_text = json.dumps(report, ensure_ascii=False) + "\n"
    if args.report is None:
        sys.stderr.write(report_text)
        return 0
    try:
        with open(args.report, "w", encoding="utf-8") as file:
            file.write(report_text)
    except OSError as error:
        raise UsageError(f"{args.report}: {error.strerror or error}") from None
    return 0
