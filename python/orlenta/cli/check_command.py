"""``orlenta check``: reports every hidden code point that sanitize would
remove or flag, where it is in the file on disk."""

from __future__ import annotations

import argparse
import itertools
import os
import sys
from collections.abc import Iterable, Iterator

from orlenta.cli.files import STDIN, PathError, expand_paths
from orlenta.cli.findings import FileResult, ScanSettings, scan_path, scan_paths
from orlenta.cli.outputs import write_github, write_json, write_text
from orlenta.cli.reasons import SIGNAL_REASONS
from orlenta.cli.records import TYPE_CHECKING
from orlenta.cli.settings import PathFilter, add_path_options, comma_list, path_filter
from orlenta.cli.usage import HelpFormatter

if TYPE_CHECKING:
    from typing import TextIO

FORMATS = ("text", "json", "sarif", "github")
# Files per task of the thread pool: a native call per 64 files costs
# little, and fewer tasks mean fewer waits for the interpreter lock.
FILES_PER_TASK = 64

DESCRIPTION = """\
Reports every code point that `orlenta sanitize --policy POLICY` would
remove or flag one character at a time (bidi controls, zero-width and other
invisible characters, tag characters, variation selectors, controls, lone
carriage returns), with its line and column (1-based, in code points) in the
file as it is on disk.

--signals adds what the detectors of orlenta.analyze find: encoded payloads,
entropy or combining marks beyond what prose of the script has, joiners out
of context, zero-width runs, mixed-script and confusable words; each with
where it starts and ends and its evidence (kind "signal", reason the
detection's kind).

Folders inside a git work tree give the files git tracks; elsewhere every
file. Binary files (a NUL byte in the first 8 KiB) are skipped; a file that
is not UTF-8 is one not_utf8 finding. [tool.orlenta] in pyproject.toml sets
the policy, select, ignore, exclude and per-file-ignores.

exit status: 0 no finding, 1 findings, 2 usage error or a path that could
not be read (the others are still scanned)."""


def register(subparsers: argparse._SubParsersAction[argparse.ArgumentParser]) -> None:
    parser = subparsers.add_parser(
        "check",
        help="report hidden code points in files",
        description=DESCRIPTION,
        formatter_class=HelpFormatter,
    )
    add_path_options(parser)
    parser.add_argument("--format", choices=FORMATS, default="text", help="output form (default: text)")
    parser.add_argument("--select", type=comma_list, action="extend", metavar="REASON,...",
                        help="report only these reasons (replaces [tool.orlenta] select)")
    parser.add_argument("--ignore", type=comma_list, action="extend", metavar="REASON,...",
                        help="do not report these reasons (adds to [tool.orlenta] ignore)")
    parser.add_argument("--strict-newlines", action="store_true",
                        help="also report the carriage return of CR LF line endings")
    parser.add_argument("--signals", action="store_true",
                        help="also report what orlenta.analyze finds, where it stands: " + ", ".join(SIGNAL_REASONS))
    parser.add_argument("--normalization-findings", action="store_true",
                        help="also report, once per file, where the policy's normalization would change it")
    parser.set_defaults(run=run)


def run(args: argparse.Namespace) -> int:
    filter_, policy = path_filter(args)
    settings = ScanSettings(policy, args.strict_newlines, args.normalization_findings, args.signals)
    counts = {"findings": 0, "errors": 0}
    results = counted(scanned(expand_paths(args.paths, filter_.excluded), settings, filter_), counts)
    write_results(results, args.format, sys.stdout)
    if counts["errors"]:
        return 2
    return 1 if counts["findings"] else 0


def scanned(paths: Iterable[str | PathError], settings: ScanSettings, filter_: PathFilter) -> Iterator[FileResult]:
    """The result of every path in order. Files are read and scanned in
    groups on a thread per CPU, each group by one native call without the
    interpreter lock: with a Python read per file, the threads queued for
    the lock around every small read; the threads start while the folders
    are still being listed."""

    def scan_group(group: list[str | PathError]) -> list[FileResult]:
        files = [path for path in group if isinstance(path, str) and path != STDIN]
        scanned_files = iter(scan_paths(files, settings, filter_.reported))
        return [
            FileResult(path.path, error=path.message) if isinstance(path, PathError)
            else scan_path(path, settings, filter_.reported) if path == STDIN
            else next(scanned_files)
            for path in group
        ]

    groups = grouped(paths)
    first = next(groups, [])
    if len(first) < FILES_PER_TASK:
        yield from scan_group(first)
        return
    from concurrent.futures import ThreadPoolExecutor

    with ThreadPoolExecutor(max_workers=os.cpu_count() or 1) as pool:
        for results in pool.map(scan_group, itertools.chain([first], groups)):
            yield from results


def grouped(paths: Iterable[str | PathError]) -> Iterator[list[str | PathError]]:
    iterator = iter(paths)
    while group := list(itertools.islice(iterator, FILES_PER_TASK)):
        yield group


def counted(results: Iterable[FileResult], counts: dict[str, int]) -> Iterator[FileResult]:
    """The results as they are, each read failure told on standard error."""
    for result in results:
        if result.error is not None:
            counts["errors"] += 1
            print(f"orlenta: {result.path}: {result.error}", file=sys.stderr)
        counts["findings"] += len(result.findings)
        yield result


def write_results(results: Iterable[FileResult], form: str, out: TextIO) -> None:
    if form == "sarif":
        import orlenta
        from orlenta.cli.sarif import write_sarif

        write_sarif(results, out, orlenta.__version__)
    else:
        {"text": write_text, "json": write_json, "github": write_github}[form](results, out)
