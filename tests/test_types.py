"""The types of orlenta.types against the names and reports sanitize really uses."""

import importlib.metadata
import inspect
import json
import pathlib
import random
import string
from typing import get_args, get_type_hints

import pytest

import orlenta
from orlenta import _core, encoded_codepoint_risk, sanitize, types
from orlenta.cli.usage import POLICY_NAMES
from orlenta.types import CodePointRisk, PolicyName, PresetName, Reason, SanitizeReport, SanitizeStats, SpanEvent, SpanReason

REGISTRY = json.loads((pathlib.Path(__file__).resolve().parents[1] / "src" / "policy" / "registry.json").read_text())


def test_policy_names_are_those_of_the_registry():
    assert set(get_args(PresetName)) == set(REGISTRY["presets"])
    assert set(get_args(PolicyName)) == set(REGISTRY["presets"]) | set(REGISTRY["aliases"])
    assert POLICY_NAMES == get_args(PolicyName)


def test_package_exports_every_name():
    added = {"sanitize_many", "sanitize_iter", "analyze", "confusable_skeleton", "reveal", "HiddenRun"}
    assert set(orlenta.__all__) == set(_core.__all__) | added | set(types.__all__)
    assert all(hasattr(orlenta, name) for name in orlenta.__all__)


@pytest.mark.parametrize("preset", get_args(PresetName))
def test_report_has_the_keys_and_value_types_of_its_type(preset):
    _, report = sanitize("x\u200b\u200ey\ufe0f", preset, return_spans=True)
    assert list(report) == list(get_type_hints(SanitizeReport))
    assert report["policy"] in get_args(PresetName)
    assert report["spans"] and all(list(span) == list(get_type_hints(SpanEvent)) for span in report["spans"])

    stats = report["stats"]
    expected = set(SanitizeStats.__required_keys__)
    if REGISTRY["presets"][preset]["flag_base64ish"]:
        expected |= SanitizeStats.__optional_keys__
    assert set(stats) == expected
    hints = get_type_hints(SanitizeStats)
    assert {key: type(value) for key, value in stats.items()} == {key: hints[key] for key in stats}


# One text for each reason a report can count, under a policy that reports it.
RANDOM = random.Random(7)
NOISE = "".join(RANDOM.choice(string.ascii_letters + string.digits + "!#$%&*") for _ in range(400))
REASON_SAMPLES = [
    ("preserve", "a\u202eb\u200ec\rd\x07e\u00adf\u200bg\u2028h\U000e0041i\u2764\ufe0f\ufe0fx\ufe0f"),
    ("strict_exec", "a\u200eb" + "\ufdfa" * 20),
    ("balanced_chat", "a  b"),
    ("balanced_chat", "x" + "\u0301" * 9 + "y" * 32),
    ("balanced_chat", "A" * 70),
    ("preserve", NOISE),
]


def test_every_reason_is_named_and_every_name_occurs():
    counted, spanned = set(), set()
    for policy, text in REASON_SAMPLES:
        _, report = sanitize(text, policy, return_spans=True)
        counted |= report["removed_counts"].keys() | report["flagged_counts"].keys()
        spanned |= {span["reason"] for span in report["spans"]}
    assert counted == set(get_args(Reason))
    assert spanned == set(get_args(SpanReason))

    risks = {encoded_codepoint_risk(ch, "strict_exec") for ch in "\u202e\u200e\u2028\U000e0041\u200b\u00ad\x07a"}
    assert risks == set(get_args(CodePointRisk)) | {None}


def test_version_comes_from_the_metadata_on_first_use(run_python):
    assert orlenta.__version__ == importlib.metadata.version("orlenta")
    child = run_python(
        """
        import sys
        import orlenta
        print("importlib.metadata" in sys.modules, orlenta.__version__, "importlib.metadata" in sys.modules)
        """
    )
    assert child.returncode == 0, child.stderr
    assert child.stdout.split() == ["False", orlenta.__version__, "True"]
    with pytest.raises(AttributeError, match="module 'orlenta' has no attribute 'version'"):
        orlenta.version


def test_import_is_cheap_and_reveal_stays_the_function(run_python):
    # The orlenta command starts by importing the package: typing,
    # dataclasses and orlenta.reveal come only with the names that need them.
    # Importing the module orlenta.reveal first must not hide the function.
    child = run_python(
        """
        import sys
        import orlenta
        print(sorted(name for name in ("typing", "dataclasses", "orlenta.reveal") if name in sys.modules))
        import orlenta.reveal
        from orlenta.reveal import visual_order
        print(callable(orlenta.reveal), orlenta.reveal("a\\u200bb")[0].kind)
        from orlenta import *
        print(reveal is orlenta.reveal, HiddenRun.__module__, SanitizeReport.__name__)
        """
    )
    assert child.returncode == 0, child.stderr
    assert child.stdout.splitlines() == ["[]", "True zero_width", "True orlenta.reveal SanitizeReport"]


# help() and IDEs show these; the Literal aliases carry theirs as attribute
# docstrings in the source, which run-time objects cannot hold.
@pytest.mark.parametrize(
    "name", [name for name in orlenta.__all__ if inspect.isclass(getattr(orlenta, name)) or inspect.isroutine(getattr(orlenta, name))]
)
def test_public_functions_and_classes_are_documented(name):
    doc = getattr(orlenta, name).__doc__
    assert doc and not doc.startswith(name + "("), name
