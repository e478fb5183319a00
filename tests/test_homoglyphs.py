"""Homoglyphs: the mixed_script and confusable findings of orlenta.analyze,
on generated look-alike identifiers and on the Trojan Source samples, and
orlenta.confusable_skeleton."""

import pathlib
import random
import re

import pytest
from test_analyze import CORPUS, SURROUNDINGS

from orlenta import analyze, confusable_skeleton

IDENTIFIERS = ["sayHello", "is_admin", "password", "checkAccess", "user_id", "paypal", "config"]
# Latin letters and a Cyrillic or Greek letter that looks the same.
CYRILLIC = {"a": "\u0430", "e": "\u0435", "o": "\u043e", "p": "\u0440", "c": "\u0441", "H": "\u041d", "i": "\u0456"}
GREEK = {"o": "\u03bf", "A": "\u0391", "H": "\u0397", "i": "\u03b9", "p": "\u03c1"}


def look_alike(letters, scripts):
    """An identifier with one letter replaced by its look-alike."""

    def generate(rng):
        word = rng.choice([w for w in IDENTIFIERS if any(c in letters for c in w)])
        at = rng.choice([i for i, c in enumerate(word) if c in letters])
        attack = word[:at] + letters[word[at]] + word[at + 1 :]
        return attack, "confusable", {"scripts": scripts, "looks_like": word}

    return generate


def mixed(rng):
    """Greek letters that imitate nothing Latin, inside a Latin word."""
    word = rng.choice(IDENTIFIERS)
    at = rng.randrange(1, len(word))
    return word[:at] + "\u03be\u03bb" + word[at:], "mixed_script", {"scripts": "Latn+Grek"}


ATTACKS = {"cyrillic look-alike": look_alike(CYRILLIC, "Latn+Cyrl"), "greek look-alike": look_alike(GREEK, "Latn+Grek")}
ATTACKS["greek inside latin"] = mixed


@pytest.mark.parametrize("attack", ATTACKS)
@pytest.mark.parametrize("context", [None, *SURROUNDINGS])
@pytest.mark.parametrize("seed", range(3))
def test_every_generated_homoglyph_is_found_exactly(attack, context, seed):
    rng = random.Random(f"{attack} {context} {seed}")
    text, kind, evidence = ATTACKS[attack](rng)
    before, after = SURROUNDINGS[context] if context else ("", "")
    found = analyze(before + text + after)
    assert [(f.kind, f.start, f.end) for f in found] == [(kind, len(before), len(before) + len(text))], text
    assert evidence.items() <= found[0].evidence.items()


@pytest.mark.parametrize(
    ("line", "word", "looks_like"),
    [("if (\u0430\u0440\u0435) {", "\u0430\u0440\u0435", "ape"), ("x = \u0441\u043e\u0440\u0435.count", "\u0441\u043e\u0440\u0435", "cope")],
)
def test_a_cyrillic_identifier_in_ascii_code_is_a_confusable(line, word, looks_like):
    text = "x = 1\n" + line + "\n"
    [finding] = analyze(text)
    assert (finding.kind, text[finding.start : finding.end]) == ("confusable", word)
    assert finding.evidence == {"scripts": "Cyrl", "looks_like": looks_like}


TROJAN_SOURCE = CORPUS / "trojan-source"


@pytest.mark.skipif(not TROJAN_SOURCE.is_dir(), reason=f"{TROJAN_SOURCE} is absent")
def test_every_trojan_source_homoglyph_is_found_where_it_stands():
    samples = sorted(path for path in TROJAN_SOURCE.rglob("*") if "homoglyph" in path.name.lower())
    assert len(samples) == 12
    for path in samples:
        text = path.read_text(encoding="utf-8")
        # Every identifier holding a non-ASCII letter, and nothing else.
        expected = [m.span() for m in re.finditer(r"\w+", text) if not m.group().isascii()]
        found = analyze(text)
        assert [(f.start, f.end) for f in found] == expected, path
        assert all(f.kind == "confusable" and f.evidence["scripts"] == "Latn+Cyrl" for f in found), path


@pytest.mark.parametrize(
    ("a", "b"),
    [
        ("paypal", "p\u0430yp\u0430l"),
        ("rn", "m"),
        ("\u00e9", "e\u0301"),
        ("scope", "\u0455\u0441\u043e\u0440\u0435"),
        ("Rust", "\u211d\U0001d4ca\U0001d4c8\U0001d4c9"),
    ],
)
def test_look_alikes_share_a_skeleton(a, b):
    assert confusable_skeleton(a) == confusable_skeleton(b)


@pytest.mark.parametrize(("a", "b"), [("m", "n"), ("paypal", "paypai\u0434"), ("\u0434", "d")])
def test_different_texts_have_different_skeletons(a, b):
    assert confusable_skeleton(a) != confusable_skeleton(b)


def test_the_skeleton_is_bounded_before_and_after_mapping():
    assert confusable_skeleton("m" * 5, max_chars=10) == "rn" * 5
    with pytest.raises(ValueError, match="input exceeds max_chars=4"):
        confusable_skeleton("abcde", 4)
    with pytest.raises(ValueError, match="output exceeds max_chars=9"):
        confusable_skeleton("m" * 5, max_chars=9)  # "rn" five times
    with pytest.raises(ValueError, match="output exceeds max_chars=100"):
        confusable_skeleton("\ufdfa" * 10, max_chars=100)  # one code point, eighteen in its prototype
    with pytest.raises(TypeError):
        confusable_skeleton(b"bytes")  # type: ignore[arg-type]
