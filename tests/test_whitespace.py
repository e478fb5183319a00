"""Whitespace tidying as a caller sees it."""

import pytest

from orlenta import sanitize

SP, TAB, LF, NBSP, IDSP = " ", "\t", "\n", "\u00a0", "\u3000"


@pytest.mark.parametrize(
    "text, expected, count",
    [
        ("", "", None),
        (SP * 3, "", 3),
        ("a" + NBSP + "b", "a b", 1),
        ("a" + SP + TAB + SP + "b", "a b", 2),
        (SP * 2 + "a" + SP * 2 + LF + SP * 2 + "b" + SP * 2, "a\nb", 8),
        ("a" + LF + SP * 3 + LF + "b", "a\n\nb", 3),
        ("a" + LF * 4 + "b", "a\n\n\n\nb", None),
        (LF * 2 + "a", "\n\na", None),
        ("a" + LF * 2, "a", 2),
        ("a" + SP + LF, "a", 2),
        (TAB + "x", "x", 1),
        (IDSP + "x", "x", 1),
        # Only the horizontal whitespace set collapses: vertical tab, form feed
        # and next line are ordinary characters here (and NEL is a control).
        ("a\u2003\u2003b", "a b", 1),
        ("a\u200ab", "a b", 1),
    ],
)
def test_tidy(text, expected, count):
    out, report = sanitize(text, policy="preserve", tidy_whitespace=True)
    assert out == expected
    assert report["removed_counts"].get("whitespace_tidy") == count
    assert report["changed"] is (count is not None)


@pytest.mark.parametrize("policy, tidies", [("balanced_chat", True), ("strict_exec", True), ("preserve", False), ("code_mode", False)])
def test_presets_and_override(policy, tidies):
    text = "  indented\tline  \n"
    out, _ = sanitize(text, policy=policy)
    assert (out == "indented line") is tidies
    assert sanitize(text, policy=policy, tidy_whitespace=False)[0] == text
    assert sanitize(text, policy=policy, tidy_whitespace=True)[0] == "indented line"


def test_crlf_inside_tidied_text():
    out, report = sanitize("one  \r\n  two\r\n", policy="balanced_chat")
    assert out == "one\ntwo"
    assert report["removed_counts"] == {"carriage_return": 2, "whitespace_tidy": 5}


def test_removal_and_tidy_then_compose():
    out, report = sanitize("cafe\u200b\u0301  ", policy="balanced_chat")
    assert out == "caf\u00e9"
    assert report["stats"]["post_removal_normalized_changed"] is True
