"""The entry point of the ``orlenta`` command and of ``python -m orlenta``."""

from __future__ import annotations

import argparse
import importlib
import sys
from collections.abc import Sequence

from orlenta.cli.usage import HelpFormatter, UsageError

# Each name is a module orlenta.cli.<name>_command with
# register(subparsers) -> None, which adds its parser and sets
# set_defaults(run=<callable(args) -> int>). Add a subcommand by adding its
# name here.
COMMANDS = ("check", "fix", "sanitize", "reveal")


def version_text() -> str:
    import orlenta

    _, report = orlenta.sanitize("")
    return f"orlenta {orlenta.__version__} (Unicode {report['stats']['unicode_normalization_version']})"


class VersionAction(argparse.Action):
    """--version, which reads the versions only when asked."""

    def __init__(self, option_strings: Sequence[str], dest: str, **kwargs: object) -> None:
        super().__init__(option_strings, dest, nargs=0, help="print the package and Unicode versions and exit")

    def __call__(self, parser: argparse.ArgumentParser, *args: object) -> None:
        print(version_text())
        parser.exit()


def build_parser(only: str | None = None) -> argparse.ArgumentParser:
    """The parser with every subcommand, or with the one named by `only`:
    building and importing the others would cost a hook's start-up for
    nothing."""
    parser = argparse.ArgumentParser(
        prog="orlenta",
        description="Finds and removes the Unicode code points that hide or reorder what a reader sees.",
        formatter_class=HelpFormatter,
    )
    parser.add_argument("--version", action=VersionAction)
    subparsers = parser.add_subparsers(title="commands", metavar="COMMAND", required=True)
    for name in COMMANDS if only is None else (only,):
        importlib.import_module(f"orlenta.cli.{name}_command").register(subparsers)
    return parser


def main(argv: Sequence[str] | None = None) -> int:
    arguments = sys.argv[1:] if argv is None else list(argv)
    command = arguments[0] if arguments and arguments[0] in COMMANDS else None
    args = build_parser(command).parse_args(arguments)
    try:
        return int(args.run(args))
    except UsageError as error:
        print(f"orlenta: error: {error}", file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        return 130
    except BrokenPipeError:
        # The reader went away (| head): nothing more can be written.
        sys.stderr.close()
        return 1


if __name__ == "__main__":
    sys.exit(main())
