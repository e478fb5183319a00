"""The content signals end to end: entropy, combining marks, encoded blobs."""

import math
import random
from collections import Counter

import pytest

from orlenta import sanitize

COMBINING_KEYS = {"combining_ratio", "combining_max_stack", "combining_suspicious_stacks"}
BLOB_KEYS = {"base64ish", "base64ish_wrapped"}
MARK = "\u0301"
BASE64_RUN = "QmFzZTY0IGV4YW1wbGU+T2sK9/Rx" * 3  # 84 alphabet code points, no whitespace


@pytest.mark.parametrize(
    "policy, blob_scan",
    [("preserve", False), ("balanced_chat", True), ("strict_exec", True), ("code_mode", True), ("strict", True)],
)
def test_signal_keys_follow_the_policy(policy, blob_scan):
    _, report = sanitize(BASE64_RUN, policy=policy)
    stats = report["stats"]
    assert "entropy_2000" in stats
    assert COMBINING_KEYS <= stats.keys()
    assert BLOB_KEYS & stats.keys() == (BLOB_KEYS if blob_scan else set())
    assert report["flagged_counts"].get("base64ish_blob") == (1 if blob_scan else None)


def test_flagging_alone_leaves_changed_false():
    text = "A" * 70
    out, report = sanitize(text)
    assert out == text
    assert report["changed"] is False
    assert report["removed_counts"] == {}
    assert report["flagged_counts"] == {"base64ish_blob": 1}
    assert (report["stats"]["base64ish"], report["stats"]["base64ish_wrapped"]) == (True, False)


@pytest.mark.parametrize(
    "text, max_stack, suspicious, flagged",
    [
        ("x" + MARK * 5, 5, 1, {}),
        ("x" + MARK * 8, 8, 1, {"excessive_combining_stack": 1}),
        (("x" + MARK * 5) * 3, 5, 3, {"excessive_combining_stack": 1}),
        ("x" + MARK * 9 + "y" * 32, 9, 1, {"excessive_combining_stack": 1, "high_combining_ratio": 1}),
    ],
)
def test_combining_marks(text, max_stack, suspicious, flagged):
    _, report = sanitize(text)
    stats = report["stats"]
    assert (stats["combining_max_stack"], stats["combining_suspicious_stacks"]) == (max_stack, suspicious)
    assert stats["combining_ratio"] == text.count(MARK) / len(text)
    assert report["flagged_counts"] == flagged


def reference_entropy(text, prefix_chars=2000):
    prefix = text[:prefix_chars]
    if not prefix:
        return 0.0
    n = float(len(prefix))
    h = 0.0
    for _, count in sorted(Counter(prefix).items()):
        p = count / n
        h = h + (math.log(p) * p) / -0.6931471805599453
    return h


def test_entropy_matches_the_ordered_sum_bit_for_bit():
    # Letters and digits that no policy removes, tidies or composes.
    alphabet = (
        [chr(c) for c in range(0x30, 0x3A)]
        + [chr(c) for c in range(0x41, 0x5B)]
        + [chr(c) for c in range(0x3B1, 0x3CA)]
        + [chr(c) for c in range(0x430, 0x450)]
        + [chr(c) for c in range(0x4E00, 0x4E40)]
    )
    rng = random.Random(1948)
    for length in (0, 150, 2000, 3500):
        text = "".join(rng.choice(alphabet[: rng.randint(1, len(alphabet))]) for _ in range(length))
        for policy in ("preserve", "balanced_chat", "strict_exec"):
            out, report = sanitize(text, policy=policy)
            assert out == text
            expected = reference_entropy(text)
            assert report["stats"]["entropy_2000"].hex() == expected.hex()
            high = expected > 5.0 and len(text) > 200
            assert ("high_entropy" in report["flagged_counts"]) == high
