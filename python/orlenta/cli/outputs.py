"""The text, JSON and GitHub forms of check's findings, written as they come."""

from __future__ import annotations

from collections.abc import Iterable

from orlenta.cli.findings import FileResult, Finding
from orlenta.cli.records import TYPE_CHECKING
from orlenta.cli.visible import code_point_name, make_visible

if TYPE_CHECKING:
    from typing import TextIO

# Around a finding on a long line, this many bytes on either side are shown.
LINE_WINDOW_BYTES = 240
ERROR_KINDS = {"removed", "not_utf8"}


def source_line(data: bytes, offset: int) -> str:
    """The line that holds the byte offset, its hidden code points visible
    and bytes that are not UTF-8 as \\xNN; a long line is cut around the
    offset, at character boundaries."""
    start = data.rfind(b"\n", 0, offset) + 1
    end = data.find(b"\n", offset)
    end = len(data) if end < 0 else end
    if end > start and data[end - 1] == 0x0D:
        end -= 1
    head = "…" if offset - start > LINE_WINDOW_BYTES else ""
    tail = "…" if end - offset > LINE_WINDOW_BYTES else ""
    start = max(start, offset - LINE_WINDOW_BYTES)
    end = min(end, offset + LINE_WINDOW_BYTES)
    while start < offset and is_continuation(data[start]):
        start += 1
    while end < len(data) and end > offset and is_continuation(data[end]):
        end -= 1
    return head + make_visible(data[start:end].decode("utf-8", "backslashreplace")) + tail


def is_continuation(byte: int) -> bool:
    return 0x80 <= byte < 0xC0


def write_text(results: Iterable[FileResult], out: TextIO) -> None:
    for result in results:
        for finding in result.findings:
            if finding.line is None:
                out.write(f"{result.path}: {finding.reason} {finding.description}\n")
                continue
            out.write(f"{result.path}:{finding.line}:{finding.column}: {finding.reason} {finding.description}\n")
            if result.data is not None and finding.byte_offset is not None:
                out.write(f"    {source_line(result.data, finding.byte_offset)}\n")


def write_json(results: Iterable[FileResult], out: TextIO) -> None:
    """{"findings": [...], "errors": [{"path", "message"}]}, one finding per
    line, so that a large result is never held whole. Each finding is an
    object of path, line, column, byte_offset, end_line, end_column (just
    after the finding), code_point, name, reason, kind and message."""
    import json

    # One encoder for every string: json.dumps with options makes one per call.
    encoder = json.JSONEncoder(ensure_ascii=False)
    # A tree's findings repeat a few code points under a few reasons, and
    # everything after the position follows from those: encoded once each.
    described: dict[tuple[int | None, str, str, str | None], str] = {}
    errors = []
    separator = "\n"
    out.write('{"findings": [')
    for result in results:
        if result.error is not None:
            errors.append({"path": result.path, "message": result.error})
        if not result.findings:
            continue
        path = encoder.encode(result.path)
        for finding in result.findings:
            key = (finding.code_point, finding.reason, finding.kind, finding.detail)
            if key not in described:
                described[key] = encoder.encode(what_was_found(finding))[1:-1]
            end_line, end_column, _ = finding.end or (None, None, None)
            out.write(
                f'{separator}{{"path": {path}, "line": {json_int(finding.line)}, "column": {json_int(finding.column)}, '
                f'"byte_offset": {json_int(finding.byte_offset)}, "end_line": {json_int(end_line)}, '
                f'"end_column": {json_int(end_column)}, {described[key]}}}'
            )
            separator = ",\n"
    out.write('\n], "errors": ' + encoder.encode(errors) + "}\n")


def what_was_found(finding: Finding) -> dict[str, object]:
    return {
        "code_point": finding.code_point_text,
        "name": None if finding.code_point_text is None else code_point_name(finding.code_point or 0),
        "reason": finding.reason,
        "kind": finding.kind,
        "message": f"{finding.reason} {finding.description}",
    }


def json_int(value: int | None) -> str:
    return "null" if value is None else str(value)


def escape_data(text: str) -> str:
    return text.replace("%", "%25").replace("\r", "%0D").replace("\n", "%0A")


def escape_property(text: str) -> str:
    return escape_data(text).replace(":", "%3A").replace(",", "%2C")


def write_github(results: Iterable[FileResult], out: TextIO) -> None:
    """GitHub Actions workflow commands, one annotation per finding."""
    for result in results:
        for finding in result.findings:
            level = "error" if finding.kind in ERROR_KINDS else "warning"
            properties = f"file={escape_property(result.path)}"
            if finding.line is not None:
                properties += f",line={finding.line},col={finding.column}"
            properties += f",title={escape_property('orlenta ' + finding.reason)}"
            out.write(f"::{level} {properties}::{escape_data(finding.reason + ' ' + finding.description)}\n")
