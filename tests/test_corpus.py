"""Real texts: the Trojan Source attacks and the UDHR in 532 languages."""

import json
import pathlib
import unicodedata

import pytest

from orlenta import normalize_for_skeleton, sanitize

CORPUS = pathlib.Path(__file__).resolve().parents[1].parent / "shared" / "corpus"
TROJAN = CORPUS / "trojan-source"
UDHR = CORPUS / "udhr"

BIDI_CONTROLS = set(map(chr, [*range(0x202A, 0x202F), *range(0x2066, 0x206A)]))
INVISIBLES = {"\u200b", "\u200c", "\u200d", "\u2060", "\ufeff"}


def attack_files(kind):
    if not TROJAN.is_dir():
        return [pytest.param(None, marks=pytest.mark.skip(reason=f"{TROJAN} is absent"))]
    return sorted(p for p in TROJAN.rglob("*") if p.is_file() and kind in p.name.lower().replace("-", ""))


@pytest.mark.parametrize("path", attack_files("commentingout") + attack_files("stretchedstring") + attack_files("earlyreturn"),
                         ids=str)
@pytest.mark.parametrize("policy", ["balanced_chat", "code_mode"])
def test_bidi_attacks_are_neutralised(path, policy):
    text = path.read_text(encoding="utf-8")
    assert BIDI_CONTROLS & set(text), "the sample carries its attack"
    out, report = sanitize(text, policy=policy, return_spans=True)
    assert not BIDI_CONTROLS & set(out)
    removed = sum(1 for ch in text if ch in BIDI_CONTROLS)
    assert report["removed_counts"]["bidi_control"] == removed
    assert [s["reason"] for s in report["spans"]].count("bidi_control") == removed


@pytest.mark.parametrize("path", attack_files("invisiblefunction"), ids=str)
def test_invisible_function_names_are_exposed(path):
    text = path.read_text(encoding="utf-8")
    out, report = sanitize(text, policy="code_mode")
    assert not INVISIBLES & set(out)
    assert report["changed"] is True


@pytest.mark.parametrize("path", attack_files("homoglyphfunction"), ids=str)
def test_homoglyphs_are_not_claimed(path):
    # Look-alike letters from another script are ordinary letters: neither the
    # sanitizer nor the skeleton maps them.
    text = path.read_text(encoding="utf-8").replace("\r", "")
    out, report = sanitize(text, policy="code_mode")
    assert out == text and report["changed"] is False
    assert normalize_for_skeleton(text) == text


def udhr_texts():
    index = UDHR / "index.json"
    if not index.exists():
        return [pytest.param(None, marks=pytest.mark.skip(reason=f"{index} is absent"))]
    return [pytest.param(entry, id=entry["file"]) for entry in json.loads(index.read_text(encoding="utf-8"))]


@pytest.mark.parametrize("entry", udhr_texts())
def test_udhr_under_preserve(entry):
    text = (UDHR / entry["file"]).read_text(encoding="utf-8")
    out, report = sanitize(text, policy="preserve", return_spans=True)
    # The output is the NFC form with exactly the code points the spans name
    # as removed cut out (CPython's older Unicode data agrees with ours on
    # these texts).
    processing = unicodedata.normalize("NFC", text).encode()
    kept, position = [], 0
    for span in report["spans"]:
        if span["kind"] == "removed":
            kept.append(processing[position:span["start"]])
            position = span["end"]
    kept.append(processing[position:])
    assert out == unicodedata.normalize("NFC", b"".join(kept).decode())
    assert report["stats"]["normalized_changed"] is (not entry["nfc"])
    assert sum(report["removed_counts"].values()) == sum(s["kind"] == "removed" for s in report["spans"])
    again, second = sanitize(out, policy="preserve")
    assert again == out and second["removed_counts"] == {}
