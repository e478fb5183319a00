"""The module object and the sanitize entry point as Python sees them."""

import inspect
import json
import sys

import pytest

import orlenta
from orlenta import _core, _native, sanitize

ALL = ["sanitize", "normalize_for_skeleton", "is_identifier_decoration", "encoded_codepoint_risk"]
REPORT_KEYS = ["report_version", "policy", "normalization", "changed", "removed_counts", "flagged_counts", "spans", "stats"]


def test_module_surface():
    assert _core.__all__ == ALL
    assert _core.__doc__ == ""
    assert [name for name in dir(_core) if not name.startswith("_")] == sorted(_core.__all__)
    assert [getattr(orlenta, name) for name in ALL] == [getattr(_native, name) for name in ALL]


# The package's functions are _core's entry points registered again with
# docstrings: same signatures, and help() has something to show.
@pytest.mark.parametrize("name", ALL)
def test_package_functions_are_documented(name):
    bare, documented = getattr(_core, name), getattr(orlenta, name)
    assert bare.__doc__ is None
    assert documented.__text_signature__ == bare.__text_signature__
    assert len(documented.__doc__.splitlines()) > 1


def test_reimport_builds_a_fresh_module(run_python):
    child = run_python(
        f"""
        import importlib, sys
        first = importlib.import_module("orlenta._core")
        del sys.modules["orlenta._core"]
        second = importlib.import_module("orlenta._core")
        assert second is not first
        assert second.__all__ == first.__all__ == {ALL!r}
        assert second.sanitize("abc") == first.sanitize("abc")
        print("fresh")
        """
    )
    assert child.returncode == 0, child.stderr
    assert child.stdout.strip() == "fresh"


def test_sanitize_function_facts():
    sanitize = _core.sanitize
    assert (sanitize.__name__, sanitize.__module__, sanitize.__doc__, sanitize.__self__) == (
        "sanitize",
        "orlenta._core",
        None,
        None,
    )
    signature = '(text, policy="balanced_chat", normalization=None, tidy_whitespace=None, return_spans=False)'
    assert sanitize.__text_signature__ == signature
    assert str(inspect.signature(sanitize)) == signature.replace('"', "'")


@pytest.mark.parametrize("text", ["abc", "", "naïve café 😀 \u4e2d\u6587"])
def test_result_is_text_and_report_dict(text):
    result = sanitize(text, "preserve")
    assert type(result) is tuple and len(result) == 2
    output, report = result
    assert type(output) is str and output == text
    assert type(report) is dict
    assert list(report) == REPORT_KEYS
    assert report["policy"] == "preserve"


class StrSubclass(str):
    pass


@pytest.mark.parametrize("length", [10, 70_000])
@pytest.mark.parametrize("text", ["plain words", "naïve café 😀"])
def test_unchanged_text_comes_back_as_the_argument(text, length):
    argument = (text * length)[:length]
    output, report = sanitize(argument, "preserve")
    assert not report["changed"] and output is argument
    subclassed, _ = sanitize(StrSubclass(argument), "preserve")
    assert type(subclassed) is str and subclassed == argument


class RaisingIsascii(str):
    def isascii(self):
        raise RuntimeError("the subclass's own isascii ran")


class LyingIsascii(str):
    def isascii(self):
        return not str.isascii(self)


# Long texts are the ones asked whether they are ASCII; believing a lie would
# leave a cached UTF-8 copy on the argument.
@pytest.mark.parametrize("subclass", [RaisingIsascii, LyingIsascii])
@pytest.mark.parametrize("text", ["a" * 70_000, "é" * 70_000])
def test_long_str_subclass_isascii_is_not_called(subclass, text):
    argument = subclass(text)
    size = sys.getsizeof(argument)
    output, _ = sanitize(argument, "preserve")
    assert type(output) is str and output == text and sys.getsizeof(argument) == size


@pytest.mark.parametrize("length", [10, 70_000])
def test_changed_text_is_a_new_str(length):
    argument = "é\u200b" * length
    output, report = sanitize(argument)
    assert report["changed"] and output == "é" * length


# A long result is built from Latin-1 or UTF-16 rather than UTF-8, as its
# widest character allows; where that character stands must not matter.
@pytest.mark.parametrize("entry", [_core.sanitize, _native.sanitize])
@pytest.mark.parametrize("widest", ["©", "ÿ", "Ā", "中", "\uffff", "😀", "\U0010ffff"])
@pytest.mark.parametrize("length", [65_535, 65_536, 100_003])
def test_long_changed_text_keeps_every_character(entry, widest, length):
    filler = ("aé" * length)[: length - 3]
    half = len(filler) // 2
    kept = widest + filler[:half] + widest + filler[half:] + widest
    output, report = entry(kept[:5] + "\u200b" + kept[5:])
    assert report["changed"] and output == kept


@pytest.mark.parametrize("text", ["é" * 70_000, "中" * 70_000 + "😀", "a" * 70_000])
def test_long_text_leaves_no_utf8_copy_on_the_argument(text):
    # A str's size includes its cached UTF-8 form, when one was made.
    size = sys.getsizeof(text)
    output, _ = sanitize(text, "preserve")
    assert output == text and sys.getsizeof(text) == size


@pytest.mark.parametrize(
    "value, form",
    [("NFC", "NFC"), ("nfc", "NFC"), ("Nfc", "NFC"), ("NFKC", "NFKC"), ("nfkc", "NFKC"), ("nFkC", "NFKC")],
)
def test_normalization_override_ignores_ascii_case(value, form):
    assert sanitize("abc", normalization=value)[1]["normalization"] == form


@pytest.mark.parametrize(
    "value",
    [" NFC", "NFC ", "NFD", "NFKD", "", "ＮＦＣ", "nfc\x00", "NFC\u0130", "NFKCNFC", "ǹfc"],
)
def test_unknown_normalization_quotes_the_value_as_passed(value):
    with pytest.raises(ValueError) as info:
        sanitize("abc", normalization=value)
    assert str(info.value) == "unknown normalization: " + value


def test_bad_normalization_is_reported_before_bad_policy():
    with pytest.raises(ValueError, match="^unknown normalization: NFD$"):
        sanitize("abc", "no_such_policy", "NFD")


@pytest.mark.parametrize("policy", ["no_such_policy", "", "Balanced_Chat", "strict_exec ", "pölicy 😀"])
def test_unknown_policy(policy):
    with pytest.raises(ValueError) as info:
        sanitize("abc", policy)
    assert str(info.value) == "unknown policy: " + policy


def test_normalization_override_reaches_the_pipeline():
    assert sanitize("ﬁ", normalization="nfkc")[0] == "fi"
    assert sanitize("ﬁ", normalization="nfc")[0] == "ﬁ"


# orlenta._core.sanitize reads its report back with json.loads; the
# package's sanitize builds the same dict itself and never calls it.
def test_json_loads_is_looked_up_once(monkeypatch):
    _core.sanitize("warm up")

    def replaced(text):
        raise AssertionError("the cached json.loads should be used")

    monkeypatch.setattr(json, "loads", replaced)
    assert _core.sanitize("abc")[0] == "abc"
    assert sanitize("abc")[0] == "abc"


# json.loads is cached at the first call of a process, so replacing it only
# has an effect in a fresh interpreter.
JSON_LOADS_CASES = [
    (
        "json.loads = lambda text: []",
        "TypeError: 'list' object is not an instance of 'dict'",
    ),
    (
        "class Refused(Exception): pass\n"
        "def refuse(text): raise Refused('loads refused')\n"
        "json.loads = refuse",
        "Refused: loads refused",
    ),
    (
        "class Report(dict): pass\n"
        "original = json.loads\n"
        "json.loads = lambda text: Report(original(text))",
        "ok Report",
    ),
]


@pytest.mark.parametrize("replacement, outcome", JSON_LOADS_CASES)
def test_replaced_json_loads(run_python, replacement, outcome):
    child = run_python(
        f"""
import json
import sys
{replacement}
from orlenta import _core, sanitize
try:
    text, report = _core.sanitize("abc")
except Exception as error:
    print(f"{{type(error).__name__}}: {{error}}")
else:
    print("ok", type(report).__name__)
print(type(sanitize("abc")[1]).__name__)
"""
    )
    assert child.returncode == 0, child.stderr
    assert child.stdout.splitlines() == [outcome, "dict"]


def test_failed_json_import_is_retried(run_python):
    child = run_python(
        """
        import sys
        from orlenta._core import sanitize
        sys.modules["json"] = None
        try:
            sanitize("abc")
        except ImportError:
            print("import failed")
        del sys.modules["json"]
        print(sanitize("abc")[1]["policy"])
        """
    )
    assert child.returncode == 0, child.stderr
    assert child.stdout.split() == ["import", "failed", "balanced_chat"]
