"""``orlenta fix``: rewrites the files that sanitize would change."""

from __future__ import annotations

import argparse
import sys

from orlenta.cli.atomic_write import write_atomically
from orlenta.cli.files import STDIN, PathError, error_message, expand_paths, read_file
from orlenta.cli.findings import ScanSettings, scan_bytes
from orlenta.cli.line_endings import sanitized_text
from orlenta.cli.settings import PathFilter, add_path_options, path_filter
from orlenta.cli.usage import HelpFormatter, UsageError

DESCRIPTION = """\
Rewrites each file whose text `orlenta sanitize --policy POLICY` would
change, keeping CR LF line endings. The new text goes to a temporary file
beside the old one, which is synced and then renamed over it, mode bits
kept: an interruption leaves the old file or the new one. Unchanged, binary
and non-UTF-8 files are never touched, nor are files holding code points
that [tool.orlenta] ignores there (sanitize would remove those too).

exit status: 0 nothing to change, 1 a file changed or would change, 2 usage
error or a file that could not be read or written."""


def register(subparsers: argparse._SubParsersAction[argparse.ArgumentParser]) -> None:
    parser = subparsers.add_parser(
        "fix",
        help="remove hidden code points from files",
        description=DESCRIPTION,
        formatter_class=HelpFormatter,
    )
    add_path_options(parser)
    parser.add_argument("--dry-run", action="store_true",
                        help="change nothing; print a unified diff with hidden code points made visible")
    parser.set_defaults(run=run)


def run(args: argparse.Namespace) -> int:
    filter_, policy = path_filter(args)
    changed = errors = 0
    for path in expand_paths(args.paths, filter_.excluded):
        try:
            if isinstance(path, PathError):
                report_failure(path.path, path.message)
                errors += 1
            else:
                changed += fix_file(path, policy, filter_, args.dry_run)
        except OSError as error:
            report_failure(str(path), error_message(error))
            errors += 1
    if errors:
        return 2
    return 1 if changed else 0


def report_failure(path: str, message: str) -> None:
    print(f"orlenta: {path}: {message}", file=sys.stderr)


def fix_file(path: str, policy: str, filter_: PathFilter, dry_run: bool) -> bool:
    """Whether the file changed (or would change)."""
    if path == STDIN:
        raise UsageError("fix rewrites files; `orlenta sanitize -` sanitizes standard input")
    data = read_file(path)
    if data is None:
        return False
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as error:
        print(f"orlenta: {path}: left alone: not UTF-8 at byte {error.start}", file=sys.stderr)
        return False
    if not filter_.reports_everything():
        findings = scan_bytes(data, ScanSettings(policy))
        kept = {finding.reason for finding in findings if not filter_.reported(finding.reason, path)}
        if kept:
            print(f"orlenta: {path}: left alone: the configuration ignores {', '.join(sorted(kept))} here",
                  file=sys.stderr)
            return False
    new_data = sanitized_text(text, policy).encode("utf-8")
    if new_data == data:
        return False
    if dry_run:
        from orlenta.cli.diff import visible_diff

        sys.stdout.writelines(visible_diff(path, text, new_data.decode("utf-8")))
    else:
        write_atomically(path, new_data)
        print(f"fixed {path}")
    return True
