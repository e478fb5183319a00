"""check reports what sanitize's span events report, and finds every Trojan Source attack."""

import json
import pathlib
import subprocess
import sys
import unicodedata
from collections import defaultdict

import pytest
from hypothesis import assume, given, settings
from hypothesis import strategies as st

from orlenta import _native, sanitize
from orlenta.cli.findings import ScanSettings, scan_bytes
from orlenta.cli.reasons import REASON_HELP

TROJAN = pathlib.Path(__file__).resolve().parents[1].parent / "shared" / "corpus" / "trojan-source"
PRESETS = ("preserve", "balanced_chat", "strict_exec", "code_mode")
# ASCII, line breaks, and the code points the per-character pass decides on,
# with the bases their variation sequences and flag tags need.
ALPHABET = list("ab #\t\n\r") + list(
    "\u00e9\u0301\u4e00\u2764\u0030\U0001F3F4\U0001F600\u200b\u200c\u200d\u200e\u061c\u202e\u2066\u2069\u2028"
    "\u00ad\u034f\u115f\u3164\u2061\ufeff\ufe0e\ufe0f\U000E0100\U000E0067\U000E0062\U000E0065\U000E006E"
    "\U000E007F\U000E0041\u0007\u0085\ufff9"
)


def span_events(text, policy):
    """sanitize's events, less the carriage returns of CR LF line endings."""
    _, report = sanitize(text, policy, return_spans=True)
    assume(not report["stats"]["normalized_changed"])
    encoded = text.encode()
    return [(span["start"], span["reason"], "removed" if span["kind"] == "removed" else "flagged")
            for span in report["spans"]
            if not (span["reason"] == "carriage_return" and encoded[span["start"] + 1 : span["start"] + 2] == b"\n")]


@settings(max_examples=300, deadline=None)
@given(st.lists(st.sampled_from(ALPHABET), max_size=60).map("".join), st.sampled_from(PRESETS))
def test_check_reports_the_span_events_of_sanitize(text, policy):
    text = unicodedata.normalize("NFC", text)
    found = [(f.byte_offset, f.reason, f.kind) for f in scan_bytes(text.encode(), ScanSettings(policy))]
    assert found == span_events(text, policy)


def test_every_native_reason_has_a_help_text():
    _, reasons, _ = _native._scan_file(b"", "code_mode", False, False)
    assert set(reasons) <= set(REASON_HELP)


def hidden_lines(path):
    """The lines of the file that hold a format character (a bidi control or
    an invisible character), by the interpreter's own Unicode data."""
    lines = path.read_text(encoding="utf-8").split("\n")
    return {number for number, line in enumerate(lines, 1) if any(unicodedata.category(ch) == "Cf" for ch in line)}


def test_every_trojan_source_attack_is_reported_at_its_lines():
    if not TROJAN.is_dir():
        pytest.skip(f"{TROJAN} is absent")
    script = pathlib.Path(sys.executable).parent / "orlenta"
    result = subprocess.run([str(script), "check", "--format", "json", str(TROJAN)], capture_output=True, timeout=120)
    reported = defaultdict(set)
    for finding in json.loads(result.stdout)["findings"]:
        reported[pathlib.Path(finding["path"])].add(finding["line"])
    expected = {path: hidden_lines(path) for path in TROJAN.rglob("*") if path.is_file() and path.name != "LICENSE"}
    expected = {path: lines for path, lines in expected.items() if lines}
    assert len(expected) >= 30
    assert dict(reported) == expected
    assert result.returncode == 1
