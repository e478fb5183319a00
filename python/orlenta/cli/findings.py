"""The findings of ``orlenta check`` in one file."""

from __future__ import annotations

import os
import struct
from collections.abc import Callable
from orlenta.cli.records import NamedTuple

from orlenta import _native
from orlenta.cli.files import display_name, error_message, read_file
from orlenta.cli.visible import code_point_name

# One record of _native._scan_file: byte offset, line, column, code point,
# reason index, kind index.
RECORD = struct.Struct("=QQQIBB2x")


class ScanSettings(NamedTuple):
    policy: str
    strict_newlines: bool = False
    normalization_findings: bool = False
    signals: bool = False


class Finding(NamedTuple):
    reason: str
    # removed, flagged, not_utf8, not_normalized or signal.
    kind: str
    line: int | None = None
    column: int | None = None
    byte_offset: int | None = None
    # For not_utf8, the bad byte; None for a signal.
    code_point: int | None = None
    # Where a signal ends (exclusive); the other findings are one code
    # point, or one byte for not_utf8.
    end_line: int | None = None
    end_column: int | None = None
    end_byte_offset: int | None = None
    # A signal's evidence, in words.
    detail: str | None = None

    @property
    def code_point_text(self) -> str | None:
        if self.code_point is None or self.kind == "not_utf8":
            return None
        return f"U+{self.code_point:04X}"

    @property
    def description(self) -> str:
        """What was found, after the reason: "U+202E RIGHT-TO-LEFT OVERRIDE"."""
        if self.kind == "not_utf8":
            return f"byte 0x{self.code_point:02X}"
        if self.kind == "signal":
            return self.detail or ""
        described = f"{self.code_point_text} {code_point_name(self.code_point or 0)}"
        if self.kind == "not_normalized":
            return f"{described}: normalizing changes the file from here"
        return described

    @property
    def end(self) -> tuple[int, int, int] | None:
        """The line, column and byte offset just after the finding."""
        if self.line is None or self.column is None or self.byte_offset is None:
            return None
        if self.end_line is not None and self.end_column is not None and self.end_byte_offset is not None:
            return self.end_line, self.end_column, self.end_byte_offset
        byte_length = 1 if self.kind == "not_utf8" else len(chr(self.code_point or 0).encode("utf-8"))
        return self.line, self.column + 1, self.byte_offset + byte_length


class FileResult(NamedTuple):
    path: str
    findings: list[Finding] = []
    # Kept when there are findings, to show their lines.
    data: bytes | None = None
    error: str | None = None


Reported = Callable[[str, str], bool]
# The reason and kind names that the records' indices refer to.
Names = tuple[tuple[str, ...], tuple[str, ...]]


def scan_paths(paths: list[str], settings: ScanSettings, reported: Reported) -> list[FileResult]:
    """Reads and scans files in one native call, which holds the interpreter
    lock for none of it; `reported(reason, path)` filters the findings."""
    results, reasons, kinds = _native._scan_paths(
        [os.fsencode(path) for path in paths],
        settings.policy,
        settings.strict_newlines,
        settings.normalization_findings,
        settings.signals,
    )
    return [
        file_result(path, records, data, error, (reasons, kinds), settings, reported)
        for path, (records, data, error) in zip(paths, results)
    ]


def scan_path(path: str, settings: ScanSettings, reported: Reported) -> FileResult:
    """Reads and scans one file, or standard input for "-"."""
    try:
        data = read_file(path)
    except OSError as error:
        return FileResult(display_name(path), error=error_message(error))
    if data is None:
        return FileResult(display_name(path))
    records, *names = native_scan(data, settings)
    return file_result(path, records, data, None, (names[0], names[1]), settings, reported)


def file_result(
    path: str,
    records: bytes | None,
    data: bytes | None,
    error: str | None,
    names: Names,
    settings: ScanSettings,
    reported: Reported,
) -> FileResult:
    name = display_name(path)
    if error is not None:
        return FileResult(name, error=error)
    # A binary file, or, the common case, nothing found and no signals due.
    if records is None or (not records and data is None):
        return FileResult(name)
    findings = [finding for finding in unpacked(records, names, data, settings) if reported(finding.reason, path)]
    return FileResult(name, findings, data if findings else None)


def scan_bytes(data: bytes, settings: ScanSettings) -> list[Finding]:
    records, reasons, kinds = native_scan(data, settings)
    return unpacked(records, (reasons, kinds), data, settings)


def native_scan(data: bytes, settings: ScanSettings) -> tuple[bytes, tuple[str, ...], tuple[str, ...]]:
    return _native._scan_file(data, settings.policy, settings.strict_newlines, settings.normalization_findings)


def unpacked(records: bytes, names: Names, data: bytes | None, settings: ScanSettings) -> list[Finding]:
    """The records as findings, and the signals when asked for (the file's
    data is then at hand), all in the order of the file."""
    reasons, kinds = names
    findings = [
        Finding(reasons[reason], kinds[kind], line, column, offset, code_point)
        for offset, line, column, code_point, reason, kind in RECORD.iter_unpack(records)
    ]
    if settings.signals and data is not None and not (findings and findings[0].kind == "not_utf8"):
        from orlenta.cli.detections import detector_findings

        signals = detector_findings(data.decode("utf-8"))
        if signals:
            findings = sorted(findings + signals, key=lambda finding: finding.byte_offset or 0)
    return findings
