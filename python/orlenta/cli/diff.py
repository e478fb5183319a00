"""The unified diff of fix --dry-run, with hidden code points made visible."""

from __future__ import annotations

import difflib
from collections.abc import Iterator

from orlenta.cli.visible import make_visible


def visible_lines(text: str) -> list[str]:
    lines = text.split("\n")
    if lines[-1] == "":
        lines.pop()
    # fix keeps CR LF endings, so they are no part of a change to show.
    return [make_visible(line.removesuffix("\r")) + "\n" for line in lines]


def visible_diff(path: str, old: str, new: str) -> Iterator[str]:
    return difflib.unified_diff(visible_lines(old), visible_lines(new), f"a/{path}", f"b/{path}")
