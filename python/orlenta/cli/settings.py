"""What check and fix take from the command line and from [tool.orlenta]."""

from __future__ import annotations

import argparse
from orlenta.cli.records import NamedTuple

from orlenta.cli.config import Config, load_config, matches, reasons, relative_to_root
from orlenta.cli.usage import add_policy_option

DEFAULT_POLICY = "code_mode"


def add_path_options(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("paths", nargs="*", default=["."], metavar="PATH", help="files or folders (default: .)")
    add_policy_option(parser, None, f"the sanitize policy, a preset or an alias (default: {DEFAULT_POLICY}, "
                      "or the policy of [tool.orlenta])")
    parser.add_argument("--exclude", action="append", default=[], metavar="GLOB",
                        help="leave out paths matching the glob, relative to the configuration's folder "
                        "(repeatable; adds to [tool.orlenta] exclude)")


class PathFilter(NamedTuple):
    """Which paths are excluded and which reasons are reported where."""

    config: Config
    exclude: tuple[str, ...]
    select: frozenset[str] | None
    ignore: frozenset[str]

    def excluded(self, path: str) -> bool:
        if not self.exclude:
            return False
        relative = relative_to_root(path, self.config.root)
        return any(matches(relative, pattern) for pattern in self.exclude)

    def reported(self, reason: str, path: str) -> bool:
        if reason in self.ignore or (self.select is not None and reason not in self.select):
            return False
        if not self.config.per_file_ignores:
            return True
        relative = relative_to_root(path, self.config.root)
        return not any(reason in ignored and matches(relative, glob) for glob, ignored in self.config.per_file_ignores)

    def reports_everything(self) -> bool:
        return not self.ignore and self.select is None and not self.config.per_file_ignores


def path_filter(args: argparse.Namespace) -> tuple[PathFilter, str]:
    """The filter and the policy: the command line's --select replaces the
    configuration's, --ignore and --exclude add to it."""
    config = load_config()
    select_option = getattr(args, "select", None)
    select = reasons(select_option, "--select") if select_option else config.select
    ignore = config.ignore | reasons(getattr(args, "ignore", None) or [], "--ignore")
    policy = args.policy or config.policy or DEFAULT_POLICY
    return PathFilter(config, config.exclude + tuple(args.exclude), select, ignore), policy


def comma_list(value: str) -> list[str]:
    return [item.strip() for item in value.split(",") if item.strip()]

