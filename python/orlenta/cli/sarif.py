"""check's findings as a SARIF 2.1.0 log, for code scanning."""

from __future__ import annotations

import json
import os
from collections.abc import Iterable
from typing import TextIO
from urllib.parse import quote

from orlenta.cli.findings import FileResult, Finding
from orlenta.cli.outputs import ERROR_KINDS
from orlenta.cli.reasons import REASON_HELP, SIGNAL_REASONS, summary

SCHEMA_URI = "https://json.schemastore.org/sarif-2.1.0.json"
RULE_INDEX = {reason: index for index, reason in enumerate(REASON_HELP)}


def rule_level(reason: str) -> str:
    return "warning" if reason in SIGNAL_REASONS or reason == "not_normalized" else "error"


def rules() -> list[dict[str, object]]:
    return [
        {
            "id": reason,
            "shortDescription": {"text": summary(reason)},
            "fullDescription": {"text": help_text},
            "help": {"text": help_text},
            "defaultConfiguration": {"level": rule_level(reason)},
        }
        for reason, help_text in REASON_HELP.items()
    ]


def artifact_location(path: str) -> dict[str, str]:
    posix = path.replace(os.sep, "/")
    if os.path.isabs(path):
        return {"uri": "file://" + quote(posix)}
    return {"uri": quote(posix), "uriBaseId": "%SRCROOT%"}


def result_object(path: str, finding: Finding) -> dict[str, object]:
    location: dict[str, object] = {"artifactLocation": artifact_location(path)}
    end = finding.end
    if end is not None:
        end_line, end_column, end_byte_offset = end
        location["region"] = {
            "startLine": finding.line,
            "startColumn": finding.column,
            "endLine": end_line,
            "endColumn": end_column,
            "byteOffset": finding.byte_offset,
            "byteLength": end_byte_offset - (finding.byte_offset or 0),
        }
    return {
        "ruleId": finding.reason,
        "ruleIndex": RULE_INDEX[finding.reason],
        "level": "error" if finding.kind in ERROR_KINDS else "warning",
        "message": {"text": f"{finding.reason} {finding.description}"},
        "locations": [{"physicalLocation": location}],
    }


def write_sarif(results: Iterable[FileResult], out: TextIO, version: str) -> None:
    sarif_results = []
    notifications = []
    for result in results:
        if result.error is not None:
            notifications.append(
                {
                    "level": "error",
                    "message": {"text": f"{result.path}: {result.error}"},
                    "locations": [{"physicalLocation": {"artifactLocation": artifact_location(result.path)}}],
                }
            )
        sarif_results += [result_object(result.path, finding) for finding in result.findings]
    run = {
        "tool": {"driver": {"name": "orlenta", "version": version, "rules": rules()}},
        "invocations": [{"executionSuccessful": not notifications, "toolExecutionNotifications": notifications}],
        "columnKind": "unicodeCodePoints",
        "results": sarif_results,
    }
    json.dump({"$schema": SCHEMA_URI, "version": "2.1.0", "runs": [run]}, out, ensure_ascii=False, indent=1)
    out.write("\n")
