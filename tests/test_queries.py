"""encoded_codepoint_risk, is_identifier_decoration and normalize_for_skeleton."""

import pathlib

import pytest

from orlenta import encoded_codepoint_risk, is_identifier_decoration, normalize_for_skeleton

UCD = pathlib.Path(__file__).resolve().parents[1].parent / "shared" / "ucd" / "17.0.0"

# (code points, result under preserve/balanced_chat, result under strict_exec/code_mode)
RISK_TABLE = [
    ([0x202E, 0x2066], "bidi_control", "bidi_control"),
    ([0x200E, 0x200F, 0x061C], None, "bidi_mark"),
    ([0x2028, 0x2029], "line_separator", "line_separator"),
    ([0xE0001, 0xE0041, 0xE007F], "tag_char", "tag_char"),
    ([0x200B, 0x2060, 0xFEFF], "junk_invisible", "junk_invisible"),
    ([*range(0x2061, 0x2066), *range(0x206A, 0x2070)], "control_or_format", "default_ignorable"),
    ([0x00AD, 0x034F, 0x200C, 0x200D, 0xFE0F, 0xE0100, 0xFFF0, 0x3164], None, "default_ignorable"),
    ([0x0000, 0x0007, 0x001B, 0x007F, 0x0085, 0x009F, 0xFFF9, 0xFFFA, 0xFFFB], "control_or_format", "control_or_format"),
    ([0x0009, 0x000A, 0x000D, 0x0020, 0x0041, 0x00E9, 0x0301], None, None),
]
POLICIES = {
    "preserve": 0, "balanced_chat": 0, "balanced": 0,
    "strict_exec": 1, "strict": 1, "code_mode": 1, "code": 1,
}
RISK_CASES = [
    pytest.param(cp, policy, results[column], id=f"U+{cp:04X}-{policy}")
    for cps, *results in RISK_TABLE
    for cp in cps
    for policy, column in POLICIES.items()
]


@pytest.mark.parametrize("cp, policy, expected", RISK_CASES)
def test_risk_table(cp, policy, expected):
    assert encoded_codepoint_risk(chr(cp), policy) == expected


@pytest.mark.parametrize(
    "args, error, message",
    [
        (("", "strict"), ValueError, "expected a string of length 1"),
        (("ab", "strict"), ValueError, "expected a string of length 1"),
        (("e\u0301", "strict"), ValueError, "expected a string of length 1"),
        (("a", "Strict"), ValueError, "unknown policy: Strict"),
        (("a", " code"), ValueError, "unknown policy:  code"),
        ((1, "strict"), TypeError, "'int' object is not an instance of 'str'"),
        (("a", None), TypeError, "'None' is not an instance of 'str'"),
    ],
)
def test_risk_errors(args, error, message):
    with pytest.raises(error) as info:
        encoded_codepoint_risk(*args)
    assert str(info.value) == message


def test_risk_notes_only_on_conversion_errors():
    with pytest.raises(ValueError) as info:
        encoded_codepoint_risk("ab", "strict")
    assert getattr(info.value, "__notes__", ["while processing 'ch'"]) == ["while processing 'ch'"]
    with pytest.raises(ValueError) as info:
        encoded_codepoint_risk("a", "nope")
    assert not hasattr(info.value, "__notes__")
    with pytest.raises(TypeError, match="missing 2 required positional arguments: 'ch' and 'policy'"):
        encoded_codepoint_risk()


DECORATIONS = [0x0301, 0x0903, 0x20DD, 0x3099, 0x034F, 0x00AD, 0x200B, 0x200C, 0x200D, 0x200E, 0x202E, 0x2066,
               0xFE0F, 0xFEFF, 0x180E, 0x3164, 0xE0001, 0xE0041, 0xE0100, 0xE0FFF, 0x0897, 0x10D69, 0x1E5EE]
NOT_DECORATIONS = [0x0041, 0x0020, 0x0009, 0x0000, 0x007F, 0x0085, 0x2028, 0xFFF9, 0x0640, 0x1F3FB, 0x00E9]


@pytest.mark.parametrize("cp", DECORATIONS, ids=hex)
def test_decorations(cp):
    assert is_identifier_decoration(chr(cp)) is True


@pytest.mark.parametrize("cp", NOT_DECORATIONS, ids=hex)
def test_not_decorations(cp):
    assert is_identifier_decoration(chr(cp)) is False


@pytest.mark.parametrize("value", ["", "e\u0301", "ab"])
def test_decoration_needs_one_code_point(value):
    with pytest.raises(ValueError) as info:
        is_identifier_decoration(value)
    assert str(info.value) == "expected a string of length 1"


@pytest.mark.parametrize(
    "text, expected",
    [
        ("\ufb01", "fi"),
        ("\uff21", "A"),
        ("\u00b2", "2"),
        ("\u2474", "(1)"),
        ("e\u0301", "\u00e9"),
        ("\u00e9", "\u00e9"),
        ("A", "A"),
        ("\u0430", "\u0430"),
        ("\u200b\u200d\ufe0f", "\u200b\u200d\ufe0f"),
        ("", ""),
    ],
)
def test_skeleton_is_nfkc(text, expected):
    assert normalize_for_skeleton(text) == expected


@pytest.mark.parametrize(
    "text, max_chars, outcome",
    [
        ("\ufb03", 2, "output"),
        ("\ufb03", 3, "ffi"),
        ("e\u0301", 2, "\u00e9"),
        ("e\u0301", 1, "input"),
        ("", 0, ""),
        ("a", 0, "input"),
        ("\ufdfa", 17, "output"),
        ("\ufdfa", 18, None),
        ("ab", True, "input"),
        ("a", True, "a"),
    ],
)
def test_skeleton_bounds(text, max_chars, outcome):
    if outcome in ("input", "output"):
        with pytest.raises(ValueError) as info:
            normalize_for_skeleton(text, max_chars)
        assert str(info.value) == f"confusable skeleton {outcome} exceeds max_chars={int(max_chars)}"
        assert not hasattr(info.value, "__notes__")
    else:
        result = normalize_for_skeleton(text, max_chars=max_chars)
        assert outcome is None or result == outcome


def test_skeleton_default_limit():
    assert len(normalize_for_skeleton("a" * 1000000)) == 1000000
    with pytest.raises(ValueError, match="input exceeds max_chars=1000000$"):
        normalize_for_skeleton("a" * 1000001)


@pytest.mark.parametrize(
    "max_chars, error",
    [(-1, OverflowError), (2**64, OverflowError), (None, TypeError), (1.0, TypeError), ("3", TypeError)],
)
def test_skeleton_count_conversion(max_chars, error):
    with pytest.raises(error) as info:
        normalize_for_skeleton("a", max_chars)
    assert getattr(info.value, "__notes__", ["while processing 'max_chars'"]) == ["while processing 'max_chars'"]


def test_skeleton_accepts_the_largest_count():
    assert normalize_for_skeleton("x", 2**64 - 1) == "x"


def test_skeleton_against_normalization_test_file():
    path = UCD / "NormalizationTest.txt"
    if not path.exists():
        pytest.skip(f"{path} is absent")
    checked = 0
    for line in path.read_text(encoding="utf-8").splitlines():
        if not line or line.startswith(("#", "@")):
            continue
        columns = [
            "".join(chr(int(cp, 16)) for cp in column.split())
            for column in line.split(";")[:5]
        ]
        for source in columns:
            assert normalize_for_skeleton(source) == columns[3], line
        checked += 1
    assert checked > 20000


def test_skeleton_results_are_exact_str():
    class Name(str):
        pass

    for text in ("plain", "caf\u00e9", "\ufb01"):
        result = normalize_for_skeleton(Name(text))
        assert type(result) is str and result == normalize_for_skeleton(text)
