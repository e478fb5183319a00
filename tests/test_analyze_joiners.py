"""Zero-width payloads and joiners planted in words are found by
orlenta.analyze, alone and beside legitimate text whose joiners Unicode gives
a job (Persian, Indic scripts, emoji ZWJ sequences), which gets no finding."""

import itertools
import random

import pytest

from orlenta import Finding, analyze

ZERO_WIDTH = "\u200b\u200c\u200d\u2060\u2062\u2064\ufeff"

# Each ends with a letter or an emoji, so that an attack glued to its end
# starts a run of its own.
LEGITIMATE = {
    "Persian": "می\u200cخواهم نامه\u200cها را بخوانم",
    "Hindi": "क्\u200dष और क्\u200cष की पत्\u200dनी",
    "Malayalam": "അവന്\u200d വന്നു, അവള്\u200d പോയി",
    "Sinhala": "ශ්\u200dරී ලංකා ප්\u200dරජාතන්ත්\u200dරවාදී",
    "Bengali": "র\u200d্যাব এবং কৃতি\u200cই",
    "emoji": "\U0001f468\u200d\U0001f469\u200d\U0001f467 \U0001f3f3\ufe0f\u200d\U0001f308 "
    "\U0001f3f4\U000e0067\U000e0062\U000e0073\U000e0063\U000e0074\U000e007f",
    "CJK": "人人生而自由，在尊严和权利上一律平等。",
}


def hidden_payload(alphabet: str, data: bytes) -> str:
    """`data` written in a two- or four-symbol alphabet of zero-width code
    points, most significant digits first."""
    bits = (len(alphabet) - 1).bit_length()
    digits = []
    for byte in data:
        digits += [(byte >> shift) & (len(alphabet) - 1) for shift in range(8 - bits, -1, -bits)]
    return "".join(alphabet[digit] for digit in digits)


ALPHABETS = [
    "".join(symbols) for size in (2, 4) for symbols in itertools.combinations(ZERO_WIDTH, size)
]


def run_finding(start: int, payload: str) -> Finding:
    alphabet = " ".join("U+%04X" % ord(cp) for cp in sorted(set(payload)))
    return Finding("zero_width_run", start, start + len(payload), {"length": len(payload), "alphabet": alphabet})


@pytest.mark.parametrize("legitimate", LEGITIMATE.values(), ids=LEGITIMATE.keys())
def test_legitimate_joiners_get_no_finding(legitimate):
    assert analyze(legitimate) == []


@pytest.mark.parametrize("alphabet", ALPHABETS, ids=[" ".join("%04X" % ord(cp) for cp in a) for a in ALPHABETS])
def test_zero_width_payload_in_every_alphabet_is_found_beside_legitimate_text(alphabet):
    rng = random.Random(alphabet)
    payload = hidden_payload(alphabet, rng.randbytes(16))
    assert analyze(payload) == [run_finding(0, payload)]
    for legitimate in LEGITIMATE.values():
        for before in (legitimate + " ", legitimate):
            text = before + payload + " " + legitimate
            assert analyze(text) == [run_finding(len(before), payload)], (alphabet, before)


# A joiner planted inside a Latin word or an identifier; the offset of the
# joiner is where the finding must be.
PLANTED = [
    "pay\u200cpal.com",
    "if (is\u200dAdmin) { grant(); }",
    "def get_\u200cuser(name):",
    "ad\u200dmin",
    "x = 1\u200c0",
]


@pytest.mark.parametrize("planted", PLANTED)
def test_joiner_planted_in_a_word_is_found_beside_legitimate_text(planted):
    at = next(i for i, cp in enumerate(planted) if cp in "\u200c\u200d")
    expected = Finding("joiner_out_of_context", at, at + 1, {"code_point": "U+%04X" % ord(planted[at])})
    assert analyze(planted) == [expected]
    for legitimate in LEGITIMATE.values():
        text = legitimate + "\n" + planted + "\n" + legitimate
        shift = len(legitimate) + 1
        assert analyze(text) == [Finding(expected.kind, at + shift, at + shift + 1, expected.evidence)]
