"""The [tool.orlenta] table of pyproject.toml, and matching paths to its globs.

    [tool.orlenta]
    policy = "code_mode"
    exclude = ["tests/unicode_data/**"]
    ignore = ["bidi_mark"]

    [tool.orlenta.per-file-ignores]
    "locale/*.po" = ["bidi_mark", "default_ignorable"]

The table is looked for in pyproject.toml from the current directory up to
the root of the git work tree; globs are relative to the folder that holds
it.
"""

from __future__ import annotations

import os
from fnmatch import fnmatchcase

from orlenta.cli.records import TYPE_CHECKING, NamedTuple

from orlenta.cli.reasons import REASON_HELP
from orlenta.cli.usage import POLICY_NAMES, UsageError

if TYPE_CHECKING:
    from typing import Any

TABLE_MARK = b"tool.orlenta"
KEYS = {"policy", "select", "ignore", "exclude", "per-file-ignores"}


class Config(NamedTuple):
    # The folder the globs are relative to.
    root: str
    policy: str | None = None
    select: frozenset[str] | None = None
    ignore: frozenset[str] = frozenset()
    exclude: tuple[str, ...] = ()
    per_file_ignores: tuple[tuple[str, frozenset[str]], ...] = ()


def load_config() -> Config:
    """The nearest [tool.orlenta] table, or an empty configuration."""
    start = directory = os.path.realpath(os.getcwd())
    while True:
        candidate = os.path.join(directory, "pyproject.toml")
        if os.path.isfile(candidate):
            table = read_table(candidate)
            if table is not None:
                return parse_table(table, directory, candidate)
        parent = os.path.dirname(directory)
        if parent == directory or os.path.exists(os.path.join(directory, ".git")):
            return Config(root=start)
        directory = parent


def read_table(path: str) -> dict[str, Any] | None:
    with open(path, "rb") as file:
        raw = file.read()
    # Most pyproject.toml files have no such table: they are not parsed, and
    # Python 3.10 without tomli can read them all the same.
    if TABLE_MARK not in raw:
        return None
    try:
        import tomllib
    except ImportError:
        try:
            import tomli as tomllib  # type: ignore[no-redef, import-not-found, unused-ignore]
        except ImportError:
            raise UsageError(f"{path}: reading [tool.orlenta] needs Python 3.11 or the tomli package") from None
    try:
        document = tomllib.loads(raw.decode("utf-8"))
    except (UnicodeDecodeError, tomllib.TOMLDecodeError) as error:
        raise UsageError(f"{path}: {error}") from None
    table = document.get("tool", {}).get("orlenta")
    return table if isinstance(table, dict) else None


def parse_table(table: dict[str, Any], root: str, source: str) -> Config:
    unknown = sorted(set(table) - KEYS)
    if unknown:
        raise UsageError(f"{source}: unknown key in [tool.orlenta]: {', '.join(unknown)}")
    policy = table.get("policy")
    if policy is not None and policy not in POLICY_NAMES:
        raise UsageError(f"{source}: unknown policy: {policy!r}")
    per_file = table.get("per-file-ignores", {})
    if not isinstance(per_file, dict):
        raise UsageError(f"{source}: per-file-ignores must be a table of globs")
    select = table.get("select")
    return Config(
        root=root,
        policy=policy,
        select=None if select is None else reasons(select, f"{source}: select"),
        ignore=reasons(table.get("ignore", []), f"{source}: ignore"),
        exclude=tuple(strings(table.get("exclude", []), f"{source}: exclude")),
        per_file_ignores=tuple((glob, reasons(listed, f"{source}: {glob}")) for glob, listed in per_file.items()),
    )


def strings(value: object, where: str) -> list[str]:
    if not isinstance(value, list) or not all(isinstance(item, str) for item in value):
        raise UsageError(f"{where}: expected a list of strings")
    return value


def reasons(value: object, where: str) -> frozenset[str]:
    names = strings(value, where)
    unknown = sorted(set(names) - set(REASON_HELP))
    if unknown:
        raise UsageError(f"{where}: unknown reason: {', '.join(unknown)} (known: {', '.join(REASON_HELP)})")
    return frozenset(names)


def relative_to_root(path: str, root: str) -> str:
    return os.path.relpath(os.path.abspath(path), root).replace(os.sep, "/")


def matches(relative: str, pattern: str) -> bool:
    """Whether the glob names the path or a folder above it; a glob without
    a slash may also name any one component, as in .gitignore."""
    parts = relative.split("/")
    candidates = ["/".join(parts[: i + 1]) for i in range(len(parts))]
    if "/" not in pattern:
        candidates += parts
    return any(fnmatchcase(candidate, pattern) for candidate in candidates)
