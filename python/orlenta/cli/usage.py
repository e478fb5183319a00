"""Usage errors and the choices the subcommands share."""

from __future__ import annotations

import argparse
import typing


class UsageError(Exception):
    """A mistake in the command line or the configuration: exit status 2."""


def policy_names() -> tuple[str, ...]:
    from orlenta.types import PolicyName

    return typing.get_args(PolicyName)


def add_policy_option(parser: argparse.ArgumentParser, default: str | None, help_text: str) -> None:
    parser.add_argument("--policy", choices=policy_names(), default=default, help=help_text)
