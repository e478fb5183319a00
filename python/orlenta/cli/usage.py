"""Usage errors and the choices the subcommands share."""

from __future__ import annotations

import argparse
import os
import typing


class UsageError(Exception):
    """A mistake in the command line or the configuration: exit status 2."""


def policy_names() -> tuple[str, ...]:
    from orlenta.types import PolicyName

    return typing.get_args(PolicyName)


def add_policy_option(parser: argparse.ArgumentParser, default: str | None, help_text: str) -> None:
    parser.add_argument("--policy", choices=policy_names(), default=default, help=help_text)


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
