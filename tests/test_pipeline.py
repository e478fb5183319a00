"""The pipeline driver: bounded normalization, fast path, report fields."""

import pytest

from orlenta import sanitize

FDFA = "\ufdfa"  # one code point, 18 under NFKC

NORMALIZATION_STATS = {
    "ascii_fast_path": bool,
    "unicode_normalization_version": str,
    "unicode_mark_version": str,
    "normalized_changed": bool,
    "post_removal_normalized_changed": bool,
    "normalization_input_chars": int,
    "normalization_output_chars": int,
    "normalization_output_limit_chars": int,
    "normalization_truncated": bool,
    "default_ignorable_removed": int,
    "default_ignorable_stripped": bool,
    "invalid_variation_selector_count": int,
    "variation_data_version": str,
    "ideographic_variation_policy": str,
}


def test_report_shape():
    out, report = sanitize("abc")
    assert out == "abc"
    assert list(report) == [
        "report_version", "policy", "normalization", "changed",
        "removed_counts", "flagged_counts", "spans", "stats",
    ]
    assert report["report_version"] == 1
    assert (report["policy"], report["normalization"], report["changed"]) == ("balanced_chat", "NFC", False)
    assert report["removed_counts"] == {} and report["flagged_counts"] == {} and report["spans"] == []
    stats = report["stats"]
    assert list(stats) == sorted(stats)
    for key, kind in NORMALIZATION_STATS.items():
        assert type(stats[key]) is kind, key
    assert stats["unicode_normalization_version"] == "17.0.0"
    assert stats["ideographic_variation_policy"] == "han_context"


@pytest.mark.parametrize(
    "text, form, out_len, truncated, input_chars, output_chars, limit",
    [
        (FDFA * 20, "NFKC", 160, True, 20, 160, 160),
        (FDFA, "NFKC", 18, False, 1, 18, 128),
        (FDFA * 7, "NFKC", 126, False, 7, 126, 128),
        (FDFA * 8, "NFKC", 128, True, 8, 128, 128),
        (FDFA * 20, "NFC", 20, False, 20, 20, 160),
    ],
)
def test_normalization_bound(text, form, out_len, truncated, input_chars, output_chars, limit):
    out, report = sanitize(text, normalization=form)
    stats = report["stats"]
    assert len(out) == out_len
    assert stats["normalization_truncated"] is truncated
    assert stats["normalization_input_chars"] == input_chars
    assert stats["normalization_output_chars"] == output_chars
    assert stats["normalization_output_limit_chars"] == limit
    assert report["removed_counts"] == ({"normalization_amplified": 1} if truncated else {})
    assert report["changed"] is (form == "NFKC")


@pytest.mark.parametrize(
    "text, policy, tidy, fast",
    [
        ("", "preserve", None, True),
        ("", "balanced_chat", None, False),
        ("letters and one\ttab\nand a line", "code_mode", None, True),
        ("carriage\rreturn", "code_mode", None, False),
        ("caf\u00e9", "preserve", None, False),
        ("plain", "preserve", True, False),
        ("plain", "balanced_chat", False, True),
    ],
)
def test_ascii_fast_path(text, policy, tidy, fast):
    out, report = sanitize(text, policy=policy, tidy_whitespace=tidy)
    assert report["stats"]["ascii_fast_path"] is fast
    if fast:
        assert out == text and report["changed"] is False


def test_empty_text():
    out, report = sanitize("", policy="preserve")
    stats = report["stats"]
    assert out == "" and report["changed"] is False
    assert stats["normalization_input_chars"] == 0
    assert stats["normalization_output_limit_chars"] == 128


@pytest.mark.parametrize("alias, preset", [("balanced", "balanced_chat"), ("strict", "strict_exec"), ("code", "code_mode")])
def test_aliases_report_the_preset(alias, preset):
    assert sanitize("x", policy=alias)[1]["policy"] == preset


def test_large_text_round_trips():
    text = ("Gr\u00fc\u00dfe aus K\u00f6ln \u4e2d\u6587 \U0001f600 " * 50000)
    out, report = sanitize(text, policy="preserve")
    assert out == text and report["changed"] is False
