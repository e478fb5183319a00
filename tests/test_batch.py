"""sanitize_many and sanitize_iter: each element is what sanitize gives it."""

import gc
import json
import pathlib
from unittest import mock

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from orlenta import batch, sanitize, sanitize_iter, sanitize_many
from test_properties import INTERESTING, PRESETS

SHARED = pathlib.Path(__file__).resolve().parent.parent.parent / "shared" / "corpus"
text_lists = st.lists(st.lists(st.sampled_from(INTERESTING) | st.characters(codec="utf-8"), max_size=40).map("".join))
overrides = st.tuples(st.sampled_from([None, "NFC", "nfkc"]), st.sampled_from([None, True, False]), st.booleans())


def expected(texts, policy, normalization=None, tidy=None, spans=False):
    return [sanitize(text, policy, normalization, tidy, spans) for text in texts]


def as_json(report):
    """The report as order-sensitive text, floats exact."""
    return json.dumps(report)


@settings(max_examples=150, deadline=None)
@given(texts=text_lists, policy=st.sampled_from(PRESETS + ["strict"]), options=overrides, workers=st.sampled_from([1, 2, 5]))
def test_every_form_equals_sanitize(texts, policy, options, workers):
    want = expected(texts, policy, *options)
    as_dicts = sanitize_many(texts, policy, *options, workers=workers)
    assert [(text, as_json(report)) for text, report in as_dicts] == [(text, as_json(r)) for text, r in want]
    as_text = sanitize_many(texts, policy, *options, report="json", workers=workers)
    assert [(text, json.loads(report)) for text, report in as_text] == want
    assert sanitize_many(texts, policy, *options, report=None) == [(text, r["changed"]) for text, r in want]


@settings(max_examples=60, deadline=None)
@given(texts=text_lists, policy=st.sampled_from(PRESETS), options=overrides, workers=st.sampled_from([1, 3]))
def test_many_small_chunks_equal_sanitize(texts, policy, options, workers):
    """Chunks of two texts: most lists go through the pipeline threads,
    which take and return chunks in an order of their own."""
    want = expected(texts, policy, *options)
    with mock.patch.object(batch, "CHUNK_TEXTS", 2):
        as_dicts = sanitize_many(texts, policy, *options, workers=workers)
        as_text = list(sanitize_iter(texts, policy, *options, report="json", workers=workers))
    assert [(text, as_json(report)) for text, report in as_dicts] == [(text, as_json(r)) for text, r in want]
    assert [(text, json.loads(report)) for text, report in as_text] == want


def corpus_texts():
    if not SHARED.is_dir():
        pytest.skip(f"{SHARED} is absent")
    paths = sorted((SHARED / "udhr").glob("*.txt"))[:60] + sorted((SHARED / "trojan-source").rglob("*.*"))
    return [path.read_bytes().decode("utf-8", "replace") for path in paths if path.is_file()]


@pytest.mark.parametrize("policy", PRESETS)
def test_corpus_and_trojan_source_equal_sanitize(policy):
    texts = corpus_texts()
    got = sanitize_many(texts, policy, return_spans=False, workers=2)
    assert [(text, as_json(report)) for text, report in got] == [(t, as_json(r)) for t, r in expected(texts, policy)]


# A text sanitize refuses, the exception type it raises, and a word of its message.
REFUSED = [
    (3, TypeError, "not an instance of 'str'"),
    ("x\ud800", UnicodeEncodeError, "surrogates not allowed"),
    ("\u202e" * 10001, ValueError, "span event limit exceeded"),
]


@pytest.mark.parametrize(("bad", "error", "words"), REFUSED)
def test_refused_texts_raise_with_their_index_or_are_collected(bad, error, words):
    texts = ["fine", "also \u200bfine", bad, "after"]
    with pytest.raises(error, match=r"texts\[2\]") as raised:
        sanitize_many(texts, "balanced_chat", return_spans=True, workers=2)
    assert words in str(raised.value)
    results = sanitize_many(texts, "balanced_chat", return_spans=True, errors="collect")
    assert isinstance(results[2], error) and "texts[2]" in str(results[2])
    assert results[:2] + results[3:] == expected(texts[:2] + texts[3:], "balanced_chat", spans=True)


class Text(str):
    pass


@pytest.mark.parametrize("workers", [1, 2])
def test_every_way_of_reading_a_text_equals_sanitize(workers):
    """Short texts go to the pipeline threads as code points, long ones as
    UTF-8; ASCII, 2-, 3- and 4-byte forms, empty texts and str subclasses."""
    texts = ["", "plain", "\u00e9\u200b", "\u4e2d\u202e", "\U0001d518\U000e0041", Text("sub\u200bclass")]
    texts += ["\u00e9" * 70_000 + "\u200b", "a" * 70_000, Text("\U0001f600" * 70_000)]
    with mock.patch.object(batch, "CHUNK_TEXTS", 2):
        got = sanitize_many(texts, "strict", workers=workers)
    assert [(text, as_json(report)) for text, report in got] == [(t, as_json(r)) for t, r in expected(texts, "strict")]


def test_texts_the_calling_thread_encodes_equal_sanitize():
    """Texts that take the pipeline long to normalize keep the calling
    thread waiting, so that it encodes the next chunks' texts itself; a lone
    surrogate among them is refused as sanitize refuses it."""
    slow = "e\u0301\u0323" * 20_000
    texts = [slow + tail for tail in ["", "plain", "\u00e9\u200b", "\u4e2d\u202e", "\U0001d518\U000e0041"]] * 4
    texts[7] = "x\ud800" + slow
    with mock.patch.object(batch, "CHUNK_TEXTS", 1):
        got = sanitize_many(texts, "strict", workers=1, errors="collect")
    assert isinstance(got[7], UnicodeEncodeError) and "texts[7]" in str(got[7])
    del got[7], texts[7]
    assert [(text, as_json(report)) for text, report in got] == [(t, as_json(r)) for t, r in expected(texts, "strict")]


def test_every_code_point_read_as_code_points_equals_sanitize():
    """Every scalar value beyond ASCII through the pipeline threads' own
    encoding, at every place in a run of eight and between ASCII ones."""
    scalars = [chr(c) for c in range(0x80, 0x110000) if not 0xD800 <= c < 0xE000]
    texts = []
    for start in range(0, len(scalars), 1000):
        words = ["".join(scalars[i : i + 1 + i % 7]) for i in range(start, min(start + 1000, len(scalars)), 7)]
        texts.append("a" * (len(texts) % 8) + " ".join(words))
    # Few enough chunks that all of them are read before the first result
    # is taken, which is when the calling thread leaves encoding to them.
    with mock.patch.object(batch, "CHUNK_TEXTS", 128):
        got = sanitize_many(texts, "preserve", report=None, workers=8)
    assert got == [(text, report["changed"]) for text, report in expected(texts, "preserve")]


@pytest.mark.parametrize("report", ["dict", "json", None])
def test_reused_chunks_hold_nothing_of_earlier_ones(report):
    """Chunks are filled again for each set of texts: one whose output
    outgrows what a chunk keeps, short and long, refused and unchanged
    texts after one another."""
    refused = {10: UnicodeEncodeError, 23: ValueError}
    texts = ["a\u200b"] * 7 + ["\u200b" + "\u00e9" * 3_000_000, Text("\u4e2d" * 60_000), "b", "x\ud800", "c\u202e"]
    texts += ["d"] * 10 + ["\U0001f600" * 50_000 + "\u200b", "\u202e" * 10001] + ["e\u200b", Text("f")] * 3
    with mock.patch.object(batch, "CHUNK_TEXTS", 3):
        got = sanitize_many(texts, "balanced_chat", return_spans=True, report=report, errors="collect", workers=2)
    assert {i: type(got[i]) for i in refused} == refused
    got, texts = ([item for i, item in enumerate(items) if i not in refused] for items in (got, texts))
    want = expected(texts, "balanced_chat", spans=True)
    if report == "json":
        got = [(text, json.loads(second)) for text, second in got]
    elif report is None:
        want = [(text, r["changed"]) for text, r in want]
    assert [(type(text), text, as_json(second)) for text, second in got] == [(str, t, as_json(r)) for t, r in want]


@pytest.mark.parametrize("collect", [False, True])
def test_refusals_in_later_chunks_name_their_index(collect):
    texts = ["fine"] * 7 + ["x\ud800"] + ["after\u200b"] * 4
    with mock.patch.object(batch, "CHUNK_TEXTS", 3):
        if not collect:
            with pytest.raises(UnicodeEncodeError, match=r"texts\[7\]"):
                sanitize_many(texts, workers=2)
            return
        results = sanitize_many(texts, errors="collect", workers=2)
    assert isinstance(results[7], UnicodeEncodeError) and "texts[7]" in str(results[7])
    assert results[:7] + results[8:] == expected(texts[:7] + texts[8:], "balanced_chat")


def thread_ids():
    tasks = pathlib.Path("/proc/self/task")
    if not tasks.is_dir():
        pytest.skip("needs /proc/self/task")
    return {task.name for task in tasks.iterdir()}


def test_abandoned_iteration_stops_its_threads():
    # By thread id, not by count: an earlier test's runner that the
    # collector frees meanwhile takes its own threads with it.
    gc.collect()
    before = thread_ids()
    with mock.patch.object(batch, "CHUNK_TEXTS", 2):
        results = sanitize_iter((f"text {i}\u200b" for i in range(1000)), workers=2)
        assert next(results)[0] == "text 0"
        started = thread_ids() - before
        assert len(started) == 2
        results.close()
    assert not started & thread_ids()


def test_iter_takes_any_iterable_and_keeps_order():
    texts = (f"line {i}\u200b" * (i % 7) for i in range(3000))
    results = sanitize_iter(texts, "strict", report=None, workers=3)
    assert [text for text, _ in results] == [f"line {i}" * (i % 7) for i in range(3000)]
    assert sanitize_many([]) == []


class InputBroke(Exception):
    pass


@pytest.mark.parametrize(
    ("fail_at", "workers", "chunk_texts"), [(0, 1, 4), (1, 1, 4), (5, 1, 4), (9, 2, 4), (40, 1, 4), (40, 3, 4), (700, 2, 128)]
)
def test_failing_input_keeps_every_result_before_it(fail_at, workers, chunk_texts):
    def texts():
        for i in range(fail_at):
            yield f"text {i}\u200b"
        raise InputBroke("the input broke")

    got = []
    with mock.patch.object(batch, "CHUNK_TEXTS", chunk_texts), pytest.raises(InputBroke, match="the input broke"):
        for result in sanitize_iter(texts(), report=None, workers=workers):
            got.append(result)
    assert got == [(f"text {i}", True) for i in range(fail_at)]


@pytest.mark.parametrize(
    ("arguments", "error"),
    [
        ({"policy": "balancd"}, ValueError),
        ({"normalization": "NFD"}, ValueError),
        ({"report": "yaml"}, ValueError),
        ({"workers": 0}, ValueError),
        ({"errors": "ignore"}, ValueError),
        ({"return_spans": 1}, TypeError),
    ],
)
def test_bad_arguments_are_refused_before_any_work(arguments, error):
    with pytest.raises(error):
        sanitize_many(["x"], **arguments)
