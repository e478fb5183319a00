"""Which code points the removal pass removes, flags or keeps, per preset."""

import pytest

from orlenta import sanitize

PRESETS = ("preserve", "balanced_chat", "strict_exec", "code_mode")

KEEP = ()


def removed(reason):
    return (("removed", reason),)


def flagged(*reasons):
    return tuple(("flag", reason) for reason in reasons)


# Outcome of one code point between "x" and "y" under each preset, in the
# order of PRESETS. Presets 1 and 2 keep and flag default-ignorables and cap
# variation selectors; 3 and 4 remove default-ignorables and bidi marks.
OUTCOMES = {
    0x000D: [removed("carriage_return")] * 4,
    0x2028: [removed("line_separator")] * 4,
    0x2029: [removed("line_separator")] * 4,
    0x202E: [removed("bidi_control")] * 4,
    0x2066: [removed("bidi_control")] * 4,
    0x200E: [flagged("bidi_mark")] * 2 + [removed("bidi_mark")] * 2,
    0x061C: [flagged("bidi_mark")] * 2 + [removed("bidi_mark")] * 2,
    0xE0041: [removed("tag_char")] * 4,
    0xE00FF: [removed("tag_char")] * 4,
    0xFE0F: [flagged("invalid_variation_selector", "default_ignorable")] * 2 + [removed("default_ignorable")] * 2,
    0xE0100: [flagged("invalid_variation_selector", "default_ignorable")] * 2 + [removed("default_ignorable")] * 2,
    0x180F: [flagged("invalid_variation_selector", "default_ignorable")] * 2 + [removed("default_ignorable")] * 2,
    0x200B: [removed("junk_invisible")] * 4,
    0x2060: [removed("junk_invisible")] * 4,
    0xFEFF: [removed("junk_invisible")] * 4,
    0x0000: [removed("control_or_format")] * 4,
    0x0007: [removed("control_or_format")] * 4,
    0x007F: [removed("control_or_format")] * 4,
    0x0085: [removed("control_or_format")] * 4,
    0x2061: [removed("control_or_format")] * 4,
    0x2065: [removed("control_or_format")] * 4,
    0xFFF9: [removed("control_or_format")] * 4,
    0x00AD: [flagged("default_ignorable")] * 2 + [removed("default_ignorable")] * 2,
    0x034F: [flagged("default_ignorable")] * 2 + [removed("default_ignorable")] * 2,
    0x180E: [flagged("default_ignorable")] * 2 + [removed("default_ignorable")] * 2,
    0xFFF0: [flagged("default_ignorable")] * 2 + [removed("default_ignorable")] * 2,
    0x1D173: [flagged("default_ignorable")] * 2 + [removed("default_ignorable")] * 2,
    0xE01F0: [flagged("default_ignorable")] * 2 + [removed("default_ignorable")] * 2,
    0xE0FFF: [flagged("default_ignorable")] * 2 + [removed("default_ignorable")] * 2,
    0x200C: [KEEP] * 2 + [removed("default_ignorable")] * 2,
    0x200D: [KEEP] * 2 + [removed("default_ignorable")] * 2,
    0x0301: [KEEP] * 4,
    0x00E9: [KEEP] * 4,
    0x1F600: [KEEP] * 4,
}

CASES = [
    pytest.param(cp, preset, outcome, id=f"U+{cp:04X}-{preset}")
    for cp, outcomes in OUTCOMES.items()
    for preset, outcome in zip(PRESETS, outcomes)
]


@pytest.mark.parametrize("cp, preset, outcome", CASES)
def test_one_code_point_under_each_preset(cp, preset, outcome):
    text = "x" + chr(cp) + "y"
    out, report = sanitize(text, policy=preset, return_spans=True)

    events = [(span["kind"], span["reason"]) for span in report["spans"]]
    expected_events = list(outcome)
    # A retained tag character is counted without a span event; none here.
    assert events == expected_events
    detail = f"U+{cp:04X}"
    assert all(span["detail"] == detail and span["start"] == 1 for span in report["spans"])

    removals = {reason: 1 for kind, reason in outcome if kind == "removed"}
    flags = {reason: 1 for kind, reason in outcome if kind == "flag"}
    assert report["removed_counts"] == removals
    assert report["flagged_counts"] == flags
    if removals:
        assert out == "xy"
        assert report["changed"] is True
    else:
        assert out == text
        assert report["changed"] is False


@pytest.mark.parametrize(
    "text, policy, expected_out, removed_counts, flagged_counts",
    [
        # Carriage returns go whatever the policy; the LF of a CR LF stays.
        ("a\r\nb", "preserve", "a\nb", {"carriage_return": 1}, {}),
        ("a\rb", "code_mode", "ab", {"carriage_return": 1}, {}),
        # One selector per base: the second is excess.
        ("\u2764\ufe0f\ufe0f", "balanced_chat", "\u2764\ufe0f", {"variation_selector_excess": 1}, {"default_ignorable": 1}),
        # A retained joiner does not clear the previous-selector state.
        ("\u2764\ufe0f\u200d\ufe0f", "balanced_chat", "\u2764\ufe0f\u200d", {"variation_selector_excess": 1}, {"default_ignorable": 1}),
        # The base is the last retained code point: a removed one in between does not count.
        ("\u2764\u200b\ufe0f", "balanced_chat", "\u2764\ufe0f", {"junk_invisible": 1}, {"default_ignorable": 1}),
        # After an invalid selector, the next selector is excess.
        ("x\ufe0f\ufe0e", "preserve", "x\ufe0f", {"variation_selector_excess": 1},
         {"invalid_variation_selector": 1, "default_ignorable": 1}),
        # A selector at the very start has no base.
        ("\ufe0f", "preserve", "\ufe0f", {}, {"invalid_variation_selector": 1, "default_ignorable": 1}),
        # Ideographic selectors are valid after a Han ideograph only.
        ("\u6f22\U000e0100", "balanced_chat", "\u6f22\U000e0100", {}, {"default_ignorable": 1}),
        # CJK compatibility variant: a standardized sequence.
        ("\u349e\ufe00", "balanced_chat", "\u349e\ufe00", {}, {"default_ignorable": 1}),
        # Emoji presentation for a digit keycap base.
        ("#\ufe0f", "balanced_chat", "#\ufe0f", {}, {"default_ignorable": 1}),
        # Each pair is looked up for itself: same selector after another
        # base, another selector after the same base.
        ("#\ufe0fx\ufe0f#\ufe0f", "balanced_chat", "#\ufe0fx\ufe0f#\ufe0f", {},
         {"invalid_variation_selector": 1, "default_ignorable": 3}),
        ("#\ufe0f#\ufe00#\ufe0f", "balanced_chat", "#\ufe0f#\ufe00#\ufe0f", {},
         {"invalid_variation_selector": 1, "default_ignorable": 3}),
    ],
)
def test_selector_and_line_ending_interactions(text, policy, expected_out, removed_counts, flagged_counts):
    out, report = sanitize(text, policy=policy)
    assert out == expected_out
    assert report["removed_counts"] == removed_counts
    assert report["flagged_counts"] == flagged_counts


ENGLAND = "\U0001f3f4" + "".join(chr(0xE0000 + ord(c)) for c in "gbeng") + "\U000e007f"
SCOTLAND = "\U0001f3f4" + "".join(chr(0xE0000 + ord(c)) for c in "gbsct") + "\U000e007f"
TEXAS = "\U0001f3f4" + "".join(chr(0xE0000 + ord(c)) for c in "ustx") + "\U000e007f"


@pytest.mark.parametrize(
    "text, policy, expected_out, removed_tags",
    [
        (ENGLAND, "balanced_chat", ENGLAND, 0),
        ("go " + SCOTLAND + " go", "preserve", "go " + SCOTLAND + " go", 0),
        (ENGLAND + ENGLAND, "balanced_chat", ENGLAND + ENGLAND, 0),
        # Removing default-ignorables switches the protection off.
        (ENGLAND, "strict_exec", "\U0001f3f4", 6),
        # Only the three recommended subdivision flags are protected.
        (TEXAS, "balanced_chat", "\U0001f3f4", 5),
        # A truncated sequence (no cancel tag) is not protected.
        (ENGLAND[:-1], "balanced_chat", "\U0001f3f4", 5),
        # Anything between the flag and its tags breaks the sequence.
        ("\U0001f3f4 " + ENGLAND[1:], "preserve", "\U0001f3f4 ", 6),
        # Protection covers only the six tags that follow: a seventh goes.
        (ENGLAND + "\U000e0067", "balanced_chat", ENGLAND, 1),
    ],
)
def test_protected_flag_tag_sequences(text, policy, expected_out, removed_tags):
    out, report = sanitize(text, policy=policy)
    assert out == expected_out
    assert report["removed_counts"].get("tag_char", 0) == removed_tags
    assert report["changed"] is (removed_tags > 0)


def test_default_ignorable_removal_counters():
    text = "a\u200db\u200cc\ufe0fd\u00ade\U000e0041"
    _, report = sanitize(text, policy="strict_exec")
    stats = report["stats"]
    assert report["removed_counts"] == {"default_ignorable": 4, "tag_char": 1}
    assert stats["default_ignorable_removed"] == 4
    assert stats["default_ignorable_removed_joiner"] == 2
    assert stats["default_ignorable_removed_variation_selector"] == 1
    assert stats["default_ignorable_removed_other"] == 1
    assert stats["default_ignorable_removed_tag"] == 0
    assert stats["default_ignorable_stripped"] is True


def test_spans_are_byte_offsets_into_the_normalized_text():
    # The full-width A (3 bytes) becomes "A" (1 byte) under NFKC first, so the
    # zero-width space after it starts at byte 1 of the text under processing.
    _, report = sanitize("\uff21\u200bb", policy="strict_exec", return_spans=True)
    assert report["spans"] == [
        {"kind": "removed", "reason": "junk_invisible", "start": 1, "end": 4, "detail": "U+200B"},
    ]
    _, report = sanitize("\u00e9\u200b", return_spans=True)
    assert report["spans"][0]["start"] == 2 and report["spans"][0]["end"] == 5


@pytest.mark.parametrize(
    "text, normalization, expected",
    [
        ("e\u200b\u0301", "NFC", "\u00e9"),
        # Several removals in a row, then a mark that composes.
        ("a\u200b\u2060\u200b\u0308", "NFC", "\u00e4"),
        # Marks on both sides are reordered into one run, then composed.
        ("\u00e1\u200b\u0323", "NFC", "\u1ea1\u0301"),
        # Hangul jamo compose algorithmically; a vowel sign composes backward.
        ("\u1100\u200b\u1161", "NFC", "\uac00"),
        ("\u0b47\u200b\u0b3e", "NFC", "\u0b4b"),
        ("\u304b\u200b\u3099", "NFKC", "\u304c"),
        ("e\U000e0067\u0301", "NFC", "\u00e9"),
    ],
)
def test_removal_brings_together_code_points_that_normalize(text, normalization, expected):
    out, report = sanitize(text, policy="strict_exec", normalization=normalization)
    assert out == expected
    assert report["stats"]["normalized_changed"] is False
    assert report["stats"]["post_removal_normalized_changed"] is True


@pytest.mark.parametrize("text", ["e\u200bx\u0301", "e\u200b\u00e9", "\u0301\u200b", "\u200b\u0301", "a\u200b\u200b"])
def test_removal_next_to_a_boundary_needs_no_renormalization(text):
    out, report = sanitize(text, policy="strict_exec")
    assert out == text.replace("\u200b", "")
    assert report["stats"]["post_removal_normalized_changed"] is False


def test_span_event_limit():
    text = "\u200b" * 10001
    with pytest.raises(ValueError, match=r"^span event limit exceeded \(maximum 10000\); disable return_spans or split the input$"):
        sanitize(text, return_spans=True)
    out, report = sanitize(text)
    assert out == "" and report["removed_counts"] == {"junk_invisible": 10001}
    # Exactly at the limit is fine; two events per selector reach it sooner.
    assert len(sanitize("\u200b" * 10000, return_spans=True)[1]["spans"]) == 10000
    with pytest.raises(ValueError):
        sanitize("x" + "\ufe0fx" * 5001, policy="preserve", return_spans=True)
