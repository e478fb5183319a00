"""orlenta.analyze: its records, and the generated attacks every detector
must find, alone and beside legitimate text in many scripts."""

import dataclasses
from typing import get_args, get_type_hints

import pytest

import orlenta
from orlenta import Finding, analyze
from orlenta.types import FindingKind


def test_findings_are_frozen_typed_records():
    assert dataclasses.is_dataclass(Finding) and Finding.__slots__
    assert list(get_type_hints(Finding)) == ["kind", "start", "end", "evidence"]
    finding = Finding("zalgo", 1, 2, {})
    with pytest.raises(dataclasses.FrozenInstanceError):
        finding.start = 0  # type: ignore[misc]
    assert len(get_args(FindingKind)) == len(set(get_args(FindingKind))) == 8


@pytest.mark.parametrize(
    ("argument", "error"), [(b"bytes", TypeError), (None, TypeError), ("\ud800", UnicodeEncodeError)]
)
def test_only_a_str_of_scalar_values_is_analyzed(argument, error):
    with pytest.raises(error):
        analyze(argument)


@pytest.mark.parametrize("text", ["", "plain words", "Всеобщая декларация прав человека", "世界人权宣言"])
def test_ordinary_text_has_no_finding(text):
    assert analyze(text) == []
    assert orlenta.analyze is analyze
