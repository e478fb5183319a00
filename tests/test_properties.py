"""Properties of sanitize that hold for any input, checked on random texts."""

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from orlenta import encoded_codepoint_risk, sanitize

# Every class the removal pass knows, neighbours they interact with (bases,
# marks, Han, emoji, the flag and its tags), whitespace and ordinary text.
INTERESTING = [
    "\r", "\n", "\t", " ", "\u00a0", "\u3000", "\u2028", "\u2029", "\u202a", "\u202e", "\u2066", "\u2069",
    "\u200e", "\u200f", "\u061c", "\u200b", "\u2060", "\ufeff", "\u200c", "\u200d", "\u00ad", "\u034f",
    "\u180e", "\u180b", "\u180f", "\ufe00", "\ufe0e", "\ufe0f", "\U000e0100", "\U000e01ef", "\U000e0001",
    "\U000e0067", "\U000e0062", "\U000e0065", "\U000e006e", "\U000e007f", "\U000e0041", "\U0001f3f4",
    "\u0000", "\u0007", "\u007f", "\u0085", "\u2061", "\ufff9", "\u0301", "\u0323", "\u0308", "e", "a",
    "#", "0", "\u2764", "\u263a", "\u6f22", "\u349e", "\U0001f600", "\u00e9", "\ufb01", "\ufdfa", "\uff21",
    "\u1100", "\u1161", "\u11a8", "\uac00", "\u0b47", "\u0b3e", "\u304b", "\u3099", "\u0f71", "\u0f72",
    "\u00e1", "A", "z", "Z", "+", "/", "=", ".",
]
texts = st.lists(st.sampled_from(INTERESTING) | st.characters(codec="utf-8"), max_size=60).map("".join)

PRESETS = ["preserve", "balanced_chat", "strict_exec", "code_mode"]
ALWAYS_GONE = set("\r\u2028\u2029") | set(map(chr, [*range(0x202A, 0x202F), *range(0x2066, 0x206A)]))


@settings(max_examples=400, deadline=None)
@given(text=texts, policy=st.sampled_from(PRESETS))
def test_report_accounts_for_every_event(text, policy):
    out, report = sanitize(text, policy=policy, return_spans=True)
    plain_out, plain_report = sanitize(text, policy=policy)
    assert (plain_out, plain_report["removed_counts"]) == (out, report["removed_counts"])
    assert plain_report["flagged_counts"] == report["flagged_counts"] and plain_report["spans"] == []

    assert not ALWAYS_GONE & set(out)
    spans = report["spans"]
    assert [s["start"] for s in spans] == sorted(s["start"] for s in spans)
    for span in spans:
        assert 1 <= span["end"] - span["start"] <= 4
        assert span["detail"].startswith("U+") and len(span["detail"]) >= 6

    removed_spans, flag_spans = {}, {}
    for span in spans:
        bucket = removed_spans if span["kind"] == "removed" else flag_spans
        bucket[span["reason"]] = bucket.get(span["reason"], 0) + 1
    per_code_point = {k: v for k, v in report["removed_counts"].items()
                      if k not in ("normalization_amplified", "whitespace_tidy")}
    assert per_code_point == removed_spans
    signals = ("high_entropy", "high_combining_ratio", "excessive_combining_stack", "base64ish_blob")
    assert {k: v for k, v in report["flagged_counts"].items() if k not in signals} == flag_spans

    if not report["changed"]:
        assert out == text
    if out != text:
        assert report["changed"]


@settings(max_examples=300, deadline=None)
@given(text=texts, policy=st.sampled_from(PRESETS))
def test_sanitized_text_is_stable(text, policy):
    out, _ = sanitize(text, policy=policy)
    again, report = sanitize(out, policy=policy)
    assert again == out
    assert report["removed_counts"] == {}


@settings(max_examples=300, deadline=None)
@given(text=texts, policy=st.sampled_from(["strict_exec", "code_mode"]))
def test_strict_presets_leave_nothing_they_would_remove(text, policy):
    out, _ = sanitize(text, policy=policy)
    assert [ch for ch in out if encoded_codepoint_risk(ch, policy) is not None] == []


@pytest.mark.parametrize("size", [1, 1000, 100000])
def test_hostile_inputs_stay_bounded(size):
    # Long runs of marks, selectors and tags: linear work and bounded output.
    for text in ("a" + "\u0301\u0323" * size, "\u2764" + "\ufe0f" * size, "\U000e0041" * size, "\ufdfa" * size):
        out, report = sanitize(text, policy="balanced_chat", normalization="NFKC")
        assert len(out) <= max(8 * len(text), 128)
