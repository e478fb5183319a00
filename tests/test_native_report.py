"""orlenta.sanitize builds its report dict natively; orlenta._core.sanitize
reads the same report back from JSON with json.loads. Both must give the same
text, the same report (keys, order, types, float values) and the same
exceptions for every call."""

import json

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from orlenta import _core, sanitize
from test_batch import corpus_texts
from test_properties import INTERESTING, PRESETS

texts = st.lists(st.sampled_from(INTERESTING) | st.characters(codec="utf-8"), max_size=60).map("".join)
calls = st.tuples(
    texts,
    st.sampled_from(PRESETS + ["balanced", "strict", "code"]),
    st.sampled_from([None, "NFC", "nfkc"]),
    st.sampled_from([None, True, False]),
    st.booleans(),
)


def outcome(call, *arguments, **keywords):
    """(text, report as order-sensitive JSON with exact floats), or the exception's type and message."""
    try:
        text, report = call(*arguments, **keywords)
    except Exception as error:  # noqa: BLE001 - the exception itself is compared
        return type(error), str(error)
    return text, json.dumps(report)


@settings(max_examples=500, deadline=None)
@given(arguments=calls)
def test_equals_core_on_random_texts(arguments):
    assert outcome(sanitize, *arguments) == outcome(_core.sanitize, *arguments)


@pytest.mark.parametrize("return_spans", [False, True])
@pytest.mark.parametrize("policy", PRESETS)
def test_equals_core_on_corpus_and_trojan_source(policy, return_spans):
    for text in corpus_texts():
        assert outcome(sanitize, text, policy, return_spans=return_spans) == outcome(
            _core.sanitize, text, policy, return_spans=return_spans
        )


class Text(str):
    pass


@pytest.mark.parametrize(
    ("arguments", "keywords"),
    [
        (("x", "balancd"), {}),
        (("x",), {"normalization": "NFD"}),
        (("x",), {"tidy_whitespace": 1}),
        (("x",), {"return_spans": None}),
        ((b"x",), {}),
        (("x\ud800",), {}),
        (("\u202e" * 10001,), {"return_spans": True}),
        ((), {}),
        (("x", "preserve", None, None, False, 6), {}),
        (("x",), {"texts": "y"}),
        ((Text("plain"),), {}),
        ((Text("e\u0301\u200b"),), {"policy": "strict"}),
    ],
)
def test_same_exceptions_and_results_for_unusual_arguments(arguments, keywords):
    assert outcome(sanitize, *arguments, **keywords) == outcome(_core.sanitize, *arguments, **keywords)


@pytest.mark.parametrize("length", [4094, 4095, 4096, 4097])
def test_counts_around_the_shared_ints_bound_equal_core(length):
    # Lengths, counts and span offsets on both sides of the bound below
    # which one int object serves every report.
    text = "a" * (length - 2) + "\u200b\u202e"
    for arguments in [(text,), (text, "strict", None, None, True), ("\u200b" * length, "balanced_chat", None, None, True)]:
        assert outcome(sanitize, *arguments) == outcome(_core.sanitize, *arguments)


def test_reports_are_new_objects_on_every_call():
    first = sanitize("a\u200bb")[1]
    first["stats"]["entropy_2000"] = None
    first["policy"] = "another"
    first["removed_counts"].clear()
    assert sanitize("a\u200bb")[1] == _core.sanitize("a\u200bb")[1]
