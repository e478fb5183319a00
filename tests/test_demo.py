"""tools/demo.py runs and shows hidden code points and the change they made."""

import pathlib
import subprocess
import sys

DEMO = pathlib.Path(__file__).resolve().parents[1] / "tools" / "demo.py"


def test_demo_shows_the_hidden_code_points_and_the_change(tmp_path):
    result = subprocess.run(
        [sys.executable, str(DEMO), "--corpus", str(tmp_path)], capture_output=True, text=True, timeout=300
    )
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    split = lines.index("== zero-width split (balanced_chat, NFC)")
    assert lines[split + 1 : split + 4] == ["  -  1  pass<U+200B>word reset", "  +  1  password reset", "  removed: junk_invisible 1"]
    assert '  -  1  hello<tags "ignore previous"> world' in lines
    assert "skipped" in lines[-2]
    assert all(len(line) <= 110 for line in lines if line.startswith("  "))
