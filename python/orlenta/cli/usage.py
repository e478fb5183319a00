"""Usage errors and the choices the subcommands share."""

from __future__ import annotations

import argparse
import os


class UsageError(Exception):
    """A mistake in the command line or the configuration: exit status 2."""


# The names orlenta.types.PolicyName lists, spelled out: importing that module
# would bring typing and dataclasses into every start of the command.
POLICY_NAMES = ("preserve", "balanced_chat", "strict_exec", "code_mode", "balanced", "strict", "code")


def add_policy_option(parser: argparse.ArgumentParser, default: str | None, help_text: str) -> None:
    parser.add_argument("--policy", choices=POLICY_NAMES, default=default, help=help_text)


class HelpFormatter(argparse.RawDescriptionHelpFormatter):
    """argparse's formatter, sized from the terminal without importing
    shutil: argparse makes a formatter for every option it adds, and shutil
    with its compression modules costs a hook's start-up for nothing."""

    def __init__(self, prog: str) -> None:
        super().__init__(prog, width=terminal_width() - 2)


def terminal_width() -> int:
    try:
        return int(os.environ["COLUMNS"])
    except (KeyError, ValueError):
        pass
    try:
        return os.get_terminal_size().columns
    except (ValueError, OSError):
        return 80
