"""What a text hides: every run of invisible code points, where it is, what
it is and, where it carries a known encoding, what it says.

``reveal(text)`` returns one ``HiddenRun`` per run, in text order. The kinds:

- ``tag_text``: tag characters, U+E0000–E007F. U+E0020–E007E read as the
  ASCII characters they shadow; U+E0001 shows as ``⟨language tag⟩``,
  U+E007F as ``⟨cancel tag⟩``, the unassigned ones as ``⟨U+E0002⟩``. The
  tags of the England, Scotland and Wales flags (U+1F3F4, the subdivision
  code, U+E007F) are emoji, not a run.
- ``variation_text`` and ``variation_bytes``: two or more variation selectors
  in a row, read as one byte each (U+FE00–FE0F as 0–15, U+E0100–E01EF as
  16–255). ``variation_text`` when the bytes are UTF-8 of printable text,
  which is the payload; otherwise ``variation_bytes``, with the bytes in hex
  as the payload. One selector alone is a legitimate variation sequence
  (VS16 after an emoji) and no run.
- ``invisible_math_bits``: a run of U+2062 INVISIBLE TIMES and U+2064
  INVISIBLE PLUS that reads as printable UTF-8 text, eight symbols a byte,
  most significant bit first.
- ``zero_width_bits``: a run of exactly two of the zero-width code points
  U+200B, U+200C, U+200D, U+2060, U+FEFF that reads as printable UTF-8 text
  the same way, or of exactly four that reads so at two bits a symbol (four
  symbols a byte, four bytes or more).
  For both kinds of bits the lower code point is 0 and the higher 1, or the
  other way round when only that reading gives text; four symbols are read
  as 0 to 3 in code point order, or in the reverse order. Nothing marks
  either encoding, so these two are guesses (``guess`` is True).
- ``bidi``: bidi embeddings, overrides and isolates (U+202A–202E,
  U+2066–2069) and bidi marks (U+200E, U+200F, U+061C). ``visual_order``
  shows a line as a reader sees it.
- ``zero_width``: the zero-width code points above when they do not read as
  text. A lone joiner (U+200C or U+200D, which emoji and many scripts need),
  also right after a lone selector, and a byte order mark at the very start
  are no run of this kind.
- ``joiner_out_of_context``: a lone U+200C or U+200D where no script or
  emoji gives it a job (``orlenta.analyze`` decides; a joiner in a run of
  zero-width code points is part of that run instead).
- ``encoded_text`` and ``encoded_bytes``: a base64, base64url, hex or
  percent-encoded run that ``orlenta.analyze`` finds, decoded: the payload
  is the text when the bytes are UTF-8 of printable text, else the bytes in
  hex (None when they do not decode after all); ``encoding`` names the
  encoding. The run is visible text, listed for what it says.
- ``invisible``: other code points that show nothing: controls other than
  tab, line feed and carriage return (C0, DEL, C1), the soft hyphen, U+034F,
  the Hangul fillers, U+17B4, U+17B5, U+2061–2064 that do not read as bits,
  U+2065–206F, U+FFF0–FFFB, the shorthand format controls U+1BCA0–1BCA3,
  the musical formatting controls U+1D173–1D17A, U+E0080–E0FFF, and two or
  more of the Mongolian free variation selectors and vowel separator
  (U+180B–180F) in a row; one alone is Mongolian spelling and no run.

These are the code points that sanitize removes or flags one at a time under
some policy, but for the line breaks it also removes (carriage return,
U+2028, U+2029), which a reader sees as such.

Offsets are indices into the str, in code points; ``end`` is exclusive.
"""

from __future__ import annotations

import base64
import bisect
import itertools
import re
import unicodedata
from dataclasses import dataclass
from typing import Literal
from urllib.parse import unquote_to_bytes

from orlenta import _native

__all__ = ["HiddenRun", "RunKind", "reveal", "visual_order", "HIDDEN_CODE_POINTS"]

RunKind = Literal[
    "tag_text",
    "variation_text",
    "variation_bytes",
    "invisible_math_bits",
    "zero_width_bits",
    "bidi",
    "zero_width",
    "joiner_out_of_context",
    "encoded_text",
    "encoded_bytes",
    "invisible",
]


@dataclass(frozen=True, slots=True)
class HiddenRun:
    """One run of hidden code points: what it is, where it stands in the text
    (code point offsets, end exclusive), its code points, and what it says
    where it carries a known encoding (payload), a guess or not."""

    kind: RunKind
    # Code point offsets into the text, end exclusive.
    start: int
    end: int
    code_points: tuple[int, ...]
    # What the run says, for the kinds that carry an encoding; else None.
    payload: str | None
    # True when the encoding is inferred from the symbols alone.
    guess: bool
    # For encoded_text and encoded_bytes: base64, base64url, hex or percent.
    encoding: str | None = None


# The hidden code points, as (first, last) ranges by family: the code points
# a run is made of. A run holds code points of one family.
_FAMILY_RANGES: dict[str, list[tuple[int, int]]] = {
    "bidi": [(0x061C, 0x061C), (0x200E, 0x200F), (0x202A, 0x202E), (0x2066, 0x2069)],
    "zero_width": [(0x200B, 0x200D), (0x2060, 0x2060), (0xFEFF, 0xFEFF)],
    "invisible_math": [(0x2062, 0x2062), (0x2064, 0x2064)],
    "variation": [(0xFE00, 0xFE0F), (0xE0100, 0xE01EF)],
    "tag": [(0xE0000, 0xE007F)],
    "mongolian": [(0x180B, 0x180F)],
    "invisible": [
        (0x00, 0x08), (0x0B, 0x0C), (0x0E, 0x1F), (0x7F, 0x9F), (0xAD, 0xAD), (0x034F, 0x034F), (0x115F, 0x1160),
        (0x17B4, 0x17B5), (0x2061, 0x2061), (0x2063, 0x2063), (0x2065, 0x2065), (0x206A, 0x206F), (0x3164, 0x3164),
        (0xFFA0, 0xFFA0), (0xFFF0, 0xFFFB), (0x1BCA0, 0x1BCA3), (0x1D173, 0x1D17A), (0xE0080, 0xE00FF),
        (0xE01F0, 0xE0FFF),
    ],
}  # fmt: skip
_FAMILY = {chr(cp): family for family, ranges in _FAMILY_RANGES.items() for low, high in ranges for cp in range(low, high + 1)}


def _class_body(ranges: list[tuple[int, int]]) -> str:
    return "".join(re.escape(chr(low)) + (f"-{re.escape(chr(high))}" if high > low else "") for low, high in ranges)


# Every code point reveal looks at, as the body of a regex character class,
# for the command's display of lines. The native search holds the same set
# (a test compares them).
HIDDEN_CODE_POINTS = _class_body(sorted(r for ranges in _FAMILY_RANGES.values() for r in ranges))
_FLAG_TAGS = tuple(
    "".join(chr(0xE0000 + ord(c)) for c in subdivision) + "\U000e007f" for subdivision in ("gbeng", "gbsct", "gbwls")
)
# ASCII text can hide only controls, and a class of ASCII alone is a bitmap
# the regex engine tests faster than the native search reads a copy of the
# text. The class comes first on its own, so that the engine skips to it
# instead of trying a match at every character.
_ASCII_CONTROLS = _class_body([r for r in _FAMILY_RANGES["invisible"] if r[1] < 0x80] + [(0x7F, 0x7F)])
_ASCII_RUN = re.compile(f"[{_ASCII_CONTROLS}][{_ASCII_CONTROLS}]*")

_BLACK_FLAG = "\U0001f3f4"
_LONE_SURROGATE = re.compile("[\ud800-\udfff]")
_LONE_JOINERS = frozenset("\u200c\u200d")
_BYTE_ORDER_MARK = "\ufeff"


def reveal(text: str) -> list[HiddenRun]:
    """Every run of hidden code points in the text, in order, decoded where
    it carries a known encoding."""
    runs: list[HiddenRun] = []
    # Runs that emoji and many scripts are full of (a lone joiner, variation
    # selector or Mongolian format character, a selector and a joiner in an
    # emoji ZWJ sequence such as U+1F3F3 U+FE0F U+200D U+1F308, the tags of
    # a flag) are legitimate: the native search passes over them.
    if text.isascii():
        spans = [found.span() for found in _ASCII_RUN.finditer(text)]
    else:
        spans = _native._hidden_runs(text)
    for start, end in spans:
        for family, group in itertools.groupby(range(start, end), key=lambda i: _FAMILY[text[i]]):
            members = list(group)
            run = _read_run(text, family, members[0], members[-1] + 1)
            if run is not None:
                runs.append(run)
    detected = _detected_runs(text, runs)
    if detected:
        runs = sorted(runs + detected, key=lambda run: run.start)
    return runs


def _detected_runs(text: str, hidden: list[HiddenRun]) -> list[HiddenRun]:
    """The joiners out of context and the encoded payloads that analyze
    finds, from one native call over the whole text that runs those two
    detectors alone. analyze's zero-width runs are the runs above already,
    read as bits where they can be; a joiner that one of them holds is not
    listed twice."""
    try:
        detected = _native._payloads_and_joiners(text)
    except UnicodeEncodeError:
        # Lone surrogates have no UTF-8 form; U+FFFD in their place keeps
        # every offset where it is.
        detected = _native._payloads_and_joiners(_LONE_SURROGATE.sub("\ufffd", text))
    starts = [run.start for run in hidden]
    runs = []
    for kind, start, end, evidence in detected:
        if kind == "joiner_out_of_context":
            holder = bisect.bisect_right(starts, start) - 1
            if holder < 0 or hidden[holder].end <= start:
                runs.append(HiddenRun(kind, start, end, tuple(map(ord, text[start:end])), None, False))
        elif kind == "encoded_payload":
            runs.append(_payload_run(text, start, end, str(evidence["encoding"])))
    return runs


def _payload_run(text: str, start: int, end: int, encoding: str) -> HiddenRun:
    symbols = text[start:end]
    data = _decoded(symbols, encoding)
    text_read = None if data is None else _printable_utf8(data)
    code_points = tuple(map(ord, symbols))
    if text_read is not None:
        return HiddenRun("encoded_text", start, end, code_points, text_read, False, encoding)
    return HiddenRun("encoded_bytes", start, end, code_points, None if data is None else data.hex(), False, encoding)


def _decoded(symbols: str, encoding: str) -> bytes | None:
    """The bytes an encoded run stands for, or None when it does not decode
    (an encoding this module does not know)."""
    try:
        if encoding == "base64":
            # Wrapped base64 has line breaks inside the run.
            return base64.b64decode("".join(symbols.split()), validate=True)
        if encoding == "base64url":
            compact = "".join(symbols.split())
            return base64.urlsafe_b64decode(compact + "=" * (-len(compact) % 4))
        if encoding == "hex":
            return bytes.fromhex(symbols)
        if encoding == "percent":
            return unquote_to_bytes(symbols)
    except ValueError:  # binascii.Error is one
        return None
    return None


def _read_run(text: str, family: str, start: int, end: int) -> HiddenRun | None:
    symbols = text[start:end]
    code_points = tuple(map(ord, symbols))

    def run(kind: RunKind, payload: str | None = None, guess: bool = False) -> HiddenRun:
        return HiddenRun(kind, start, end, code_points, payload, guess)

    if family == "tag":
        if symbols in _FLAG_TAGS and text[start - 1 : start] == _BLACK_FLAG:
            return None
        return run("tag_text", "".join(map(_tag_reading, code_points)))
    if family == "variation":
        if len(symbols) == 1:
            return None
        data = bytes(cp - 0xFE00 if cp <= 0xFE0F else cp - 0xE0100 + 16 for cp in code_points)
        text_read = _printable_utf8(data)
        return run("variation_text", text_read) if text_read is not None else run("variation_bytes", data.hex())
    if family == "invisible_math":
        bits = _bits_reading(symbols)
        return run("invisible_math_bits", bits, guess=True) if bits is not None else run("invisible")
    if family == "zero_width":
        bits = _bits_reading(symbols)
        if bits is not None:
            return run("zero_width_bits", bits, guess=True)
        if symbols in _LONE_JOINERS or (symbols == _BYTE_ORDER_MARK and start == 0):
            return None
        return run("zero_width")
    if family == "bidi":
        return run("bidi")
    if family == "mongolian" and len(symbols) == 1:
        return None
    return run("invisible")


def _tag_reading(cp: int) -> str:
    if 0xE0020 <= cp <= 0xE007E:
        return chr(cp - 0xE0000)
    if cp == 0xE0001:
        return "⟨language tag⟩"
    if cp == 0xE007F:
        return "⟨cancel tag⟩"
    return f"⟨U+{cp:04X}⟩"


def _bits_reading(symbols: str) -> str | None:
    """The printable text a run of two or four symbols spells at one or two
    bits a symbol, trying the symbols in code point order as 0, 1 (, 2, 3)
    first, then in the reverse order. Other assignments of four symbols are
    not tried: among 24 of them, one reads as text by chance too often. For
    the same reason a run of four symbols needs four bytes or more."""
    alphabet = sorted(set(symbols))
    pairs_of_bits = len(alphabet) == 4 and len(symbols) % 4 == 0 and len(symbols) >= 16
    if not (len(alphabet) == 2 and len(symbols) % 8 == 0 or pairs_of_bits):
        return None
    for order in (alphabet, alphabet[::-1]):
        digits = symbols.translate({ord(symbol): str(digit) for digit, symbol in enumerate(order)})
        text = _printable_utf8(int(digits, len(order)).to_bytes(len(symbols) * (len(order) // 2) // 8, "big"))
        if text is not None:
            return text
    return None


def _printable_utf8(data: bytes) -> str | None:
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        return None
    if text and all(ch.isprintable() or ch in "\t\n" for ch in text):
        return text
    return None


# --- The order a reader sees -------------------------------------------------
#
# visual_order runs the Unicode Bidirectional Algorithm on one line taken as
# a paragraph: the paragraph level from its first strong character, the
# explicit embeddings, overrides and isolates with their stack (depth 125,
# overflow counted), isolating run sequences, the weak and neutral types, the
# implicit levels, the reset of trailing whitespace, the reordering and the
# mirroring of brackets. Bracket pairs are not resolved as one unit (their
# neutrals take the direction of their surroundings, as in the neutral rule
# without pairs), and the mirror glyphs cover the common ASCII and Latin-1
# brackets only. The explicit controls, which the algorithm drops, stay in
# the line, at the level of the character before them, so that they can be
# shown where they act.

_MAX_DEPTH = 125
_ISOLATE_INITIATORS = frozenset({"LRI", "RLI", "FSI"})
_DROPPED = frozenset({"LRE", "RLE", "LRO", "RLO", "PDF", "BN"})
_NEUTRAL_OR_ISOLATE = frozenset({"B", "S", "WS", "ON", "LRI", "RLI", "FSI", "PDI"})
_RESET_AT_LINE_END = _DROPPED | frozenset({"WS", "LRI", "RLI", "FSI", "PDI"})
_MIRRORS = dict(zip("()<>[]{}«»", ")(><][}{»«"))


def visual_order(line: str) -> str:
    """The line in the order a reader sees it, left to right, with its bidi
    controls kept where they act and brackets at right-to-left levels
    mirrored; ``line`` is one paragraph (one line of a file)."""
    types = [unicodedata.bidirectional(ch) or "L" for ch in line]
    isolate_ends = _matching_isolate_ends(types)
    paragraph_level = _first_strong_level(types, 0, len(types), isolate_ends) or 0
    levels, resolved = _explicit_levels(types, paragraph_level, isolate_ends)
    kept = [i for i, kind in enumerate(types) if kind not in _DROPPED]
    position = {i: k for k, i in enumerate(kept)}
    explicit_levels = list(levels)  # the resolution below raises levels in place
    for sequence in _isolating_run_sequences(kept, levels, types, isolate_ends):
        # The directions at the sequence's two ends, from the higher of its
        # level and its neighbour's (the paragraph's after an open isolate).
        before, after = position[sequence[0]] - 1, position[sequence[-1]] + 1
        level = explicit_levels[sequence[0]]
        sos = _direction(max(level, explicit_levels[kept[before]] if before >= 0 else paragraph_level))
        if types[sequence[-1]] in _ISOLATE_INITIATORS or after == len(kept):
            eos = _direction(max(level, paragraph_level))
        else:
            eos = _direction(max(level, explicit_levels[kept[after]]))
        _resolve_implicit(sequence, sos, eos, levels, resolved)
    previous_level = paragraph_level
    for i, kind in enumerate(types):
        if kind in _DROPPED:
            levels[i] = previous_level
        previous_level = levels[i]
    _reset_line_end_levels(types, levels, paragraph_level)
    order = _reordered(levels)
    return "".join(_MIRRORS.get(line[i], line[i]) if levels[i] % 2 else line[i] for i in order)


def _matching_isolate_ends(types: list[str]) -> dict[int, int]:
    """Each isolate initiator's matching PDI, by index."""
    ends, open_isolates = {}, []
    for i, kind in enumerate(types):
        if kind in _ISOLATE_INITIATORS:
            open_isolates.append(i)
        elif kind == "PDI" and open_isolates:
            ends[open_isolates.pop()] = i
    return ends


def _first_strong_level(types: list[str], start: int, end: int, isolate_ends: dict[int, int]) -> int | None:
    i = start
    while i < end:
        if types[i] == "L":
            return 0
        if types[i] in ("R", "AL"):
            return 1
        if types[i] in _ISOLATE_INITIATORS:
            i = isolate_ends.get(i, end)
        i += 1
    return None


def _next_level(level: int, right_to_left: bool) -> int:
    return (level + 1) | 1 if right_to_left else (level + 2) & ~1


def _explicit_levels(types: list[str], paragraph_level: int, isolate_ends: dict[int, int]) -> tuple[list[int], list[str]]:
    """The embedding level of every character, and the types with overrides
    applied."""
    levels = [paragraph_level] * len(types)
    resolved = list(types)
    # (level, override type or None, opened by an isolate)
    stack: list[tuple[int, str | None, bool]] = [(paragraph_level, None, False)]
    overflow_isolates = overflow_embeddings = valid_isolates = 0
    for i, kind in enumerate(types):
        level, override, _ = stack[-1]
        levels[i] = level
        if kind in ("LRE", "RLE", "LRO", "RLO"):
            new_level = _next_level(level, kind[0] == "R")
            if new_level <= _MAX_DEPTH and not overflow_isolates and not overflow_embeddings:
                stack.append((new_level, kind[0] if kind[2] == "O" else None, False))
            elif not overflow_isolates:
                overflow_embeddings += 1
        elif kind in _ISOLATE_INITIATORS:
            if override:
                resolved[i] = override
            if kind == "FSI":
                right_to_left = _first_strong_level(types, i + 1, isolate_ends.get(i, len(types)), isolate_ends) == 1
            else:
                right_to_left = kind == "RLI"
            new_level = _next_level(level, right_to_left)
            if new_level <= _MAX_DEPTH and not overflow_isolates and not overflow_embeddings:
                valid_isolates += 1
                stack.append((new_level, None, True))
            else:
                overflow_isolates += 1
        elif kind == "PDI":
            if overflow_isolates:
                overflow_isolates -= 1
            elif valid_isolates:
                overflow_embeddings = 0
                while not stack[-1][2]:
                    stack.pop()
                stack.pop()
                valid_isolates -= 1
            levels[i], override, _ = stack[-1]
            if override:
                resolved[i] = override
        elif kind == "PDF":
            if overflow_isolates:
                pass
            elif overflow_embeddings:
                overflow_embeddings -= 1
            elif not stack[-1][2] and len(stack) > 1:
                stack.pop()
        elif kind == "B":
            levels[i] = paragraph_level
        elif override and kind != "BN":
            resolved[i] = override
    return levels, resolved


def _isolating_run_sequences(
    kept: list[int], levels: list[int], types: list[str], isolate_ends: dict[int, int]
) -> list[list[int]]:
    """The level runs of the kept characters, each joined to the run after
    its isolate's matching PDI."""
    level_runs: list[list[int]] = []
    for i in kept:
        if level_runs and levels[level_runs[-1][-1]] == levels[i]:
            level_runs[-1].append(i)
        else:
            level_runs.append([i])
    run_at = {run[0]: run for run in level_runs}
    continued: set[int] = set()
    sequences = []
    for run in level_runs:
        if run[0] in continued:
            continue
        sequence = list(run)
        while types[sequence[-1]] in _ISOLATE_INITIATORS and isolate_ends.get(sequence[-1]) in run_at:
            following = run_at[isolate_ends[sequence[-1]]]
            continued.add(following[0])
            sequence.extend(following)
        sequences.append(sequence)
    return sequences


def _direction(level: int) -> str:
    return "R" if level % 2 else "L"


def _resolve_implicit(sequence: list[int], sos: str, eos: str, levels: list[int], resolved: list[str]) -> None:
    """The weak, neutral and implicit rules on one isolating run sequence."""
    level = levels[sequence[0]]
    kinds = [resolved[i] for i in sequence]
    previous = sos
    for k, kind in enumerate(kinds):  # nonspacing marks take the type before them
        if kind == "NSM":
            kinds[k] = "ON" if previous in _ISOLATE_INITIATORS or previous == "PDI" else previous
        previous = kinds[k]
    strong = sos
    for k, kind in enumerate(kinds):  # European digits after Arabic letters are Arabic
        if kind in ("L", "R", "AL"):
            strong = kind
        elif kind == "EN" and strong == "AL":
            kinds[k] = "AN"
    kinds = ["R" if kind == "AL" else kind for kind in kinds]
    for k in range(1, len(kinds) - 1):  # one separator between two numbers joins them
        if kinds[k - 1] == kinds[k + 1] and (
            (kinds[k] == "ES" and kinds[k - 1] == "EN") or (kinds[k] == "CS" and kinds[k - 1] in ("EN", "AN"))
        ):
            kinds[k] = kinds[k - 1]
    for k, j in _spans([kind == "ET" for kind in kinds]):  # terminators next to a European number
        if (k > 0 and kinds[k - 1] == "EN") or (j < len(kinds) and kinds[j] == "EN"):
            kinds[k:j] = ["EN"] * (j - k)
    kinds = ["ON" if kind in ("ES", "ET", "CS") else kind for kind in kinds]
    strong = sos
    for k, kind in enumerate(kinds):  # European numbers after left-to-right text are L
        if kind in ("L", "R"):
            strong = kind
        elif kind == "EN" and strong == "L":
            kinds[k] = "L"
    for k, j in _spans([kind in _NEUTRAL_OR_ISOLATE for kind in kinds]):  # neutrals between two alike take that side
        left = sos if k == 0 else _strength(kinds[k - 1])
        right = eos if j == len(kinds) else _strength(kinds[j])
        kinds[k:j] = [left if left == right else _direction(level)] * (j - k)
    for i, kind in zip(sequence, kinds):
        if level % 2 == 0:
            levels[i] += 1 if kind == "R" else 2 if kind in ("AN", "EN") else 0
        elif kind in ("L", "EN", "AN"):
            levels[i] += 1


def _spans(flags: list[bool]) -> list[tuple[int, int]]:
    """The (start, end) of every maximal run of True."""
    spans = []
    k = 0
    while k < len(flags):
        if flags[k]:
            j = k
            while j < len(flags) and flags[j]:
                j += 1
            spans.append((k, j))
            k = j
        else:
            k += 1
    return spans


def _strength(kind: str) -> str:
    """Numbers count as right-to-left next to neutrals."""
    return "L" if kind == "L" else "R"


def _reset_line_end_levels(types: list[str], levels: list[int], paragraph_level: int) -> None:
    """Separators, and whitespace before them or at the end of the line,
    go back to the paragraph level."""
    at_end = True
    for i in range(len(types) - 1, -1, -1):
        if types[i] in ("S", "B"):
            levels[i] = paragraph_level
            at_end = True
        elif at_end and types[i] in _RESET_AT_LINE_END:
            levels[i] = paragraph_level
        else:
            at_end = False


def _reordered(levels: list[int]) -> list[int]:
    """The character indices in display order: from the highest level down
    to the lowest odd one, every run at that level or above reverses."""
    order = list(range(len(levels)))
    odd_levels = [level for level in levels if level % 2]
    if not odd_levels:
        return order
    shown = list(levels)
    for level in range(max(levels), min(odd_levels) - 1, -1):
        for k, j in _spans([shown_level >= level for shown_level in shown]):
            order[k:j] = order[k:j][::-1]
            shown[k:j] = shown[k:j][::-1]
    return order

