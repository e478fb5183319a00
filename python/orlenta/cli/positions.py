"""Line, column and byte offset of code point offsets into a text."""

from __future__ import annotations

from collections.abc import Iterable

from orlenta.cli.records import NamedTuple


class Position(NamedTuple):
    # From 1; lines end at line feeds.
    line: int
    # From 1, in code points.
    column: int
    # Into the text's UTF-8.
    byte_offset: int


def positions(text: str, offsets: Iterable[int]) -> dict[int, Position]:
    """The position of each offset, found in one walk over the text from its
    start to the last offset: a file can hold thousands of findings, and
    counting from the start for each would take time quadratic in its size."""
    found: dict[int, Position] = {}
    is_ascii = text.isascii()
    line, line_start, byte_offset, previous = 1, 0, 0, 0
    for offset in sorted(set(offsets)):
        newlines = text.count("\n", previous, offset)
        if newlines:
            line += newlines
            line_start = text.rindex("\n", previous, offset) + 1
        byte_offset += offset - previous if is_ascii else len(text[previous:offset].encode("utf-8"))
        found[offset] = Position(line, offset - line_start + 1, byte_offset)
        previous = offset
    return found
