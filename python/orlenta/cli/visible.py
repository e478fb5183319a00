"""Code points shown to people: names, and hidden ones written as <U+XXXX>."""

from __future__ import annotations

import unicodedata
from functools import lru_cache

from orlenta import encoded_codepoint_risk

# The controls have no character name, only aliases; these are the ones
# unicodedata.name cannot give (C0, DEL and the C1 next line).
CONTROL_NAMES = dict(
    enumerate(
        "NULL,START OF HEADING,START OF TEXT,END OF TEXT,END OF TRANSMISSION,ENQUIRY,ACKNOWLEDGE,BELL,"
        "BACKSPACE,CHARACTER TABULATION,LINE FEED,LINE TABULATION,FORM FEED,CARRIAGE RETURN,SHIFT OUT,"
        "SHIFT IN,DATA LINK ESCAPE,DEVICE CONTROL ONE,DEVICE CONTROL TWO,DEVICE CONTROL THREE,"
        "DEVICE CONTROL FOUR,NEGATIVE ACKNOWLEDGE,SYNCHRONOUS IDLE,END OF TRANSMISSION BLOCK,CANCEL,"
        "END OF MEDIUM,SUBSTITUTE,ESCAPE,FILE SEPARATOR,GROUP SEPARATOR,RECORD SEPARATOR,UNIT SEPARATOR".split(",")
    )
)
CONTROL_NAMES.update({0x7F: "DELETE", 0x85: "NEXT LINE"})


# A tree's findings repeat a few code points many times.
@lru_cache(maxsize=4096)
def code_point_name(code_point: int) -> str:
    """The character's name, a control's alias, or <unnamed> (a code point
    newer than the interpreter's Unicode data, a C1 control)."""
    return unicodedata.name(chr(code_point), "") or CONTROL_NAMES.get(code_point, "<unnamed>")


@lru_cache(maxsize=4096)
def is_hidden(ch: str) -> bool:
    """Whether a reader would not see the character for what it is. Every
    code point some policy removes counts, by orlenta's own Unicode data;
    encoded_codepoint_risk leaves out the carriage return, which sanitize
    always removes."""
    return ch == "\r" or encoded_codepoint_risk(ch, "strict_exec") is not None


def make_visible(text: str) -> str:
    """The text with every hidden code point written as <U+XXXX>."""
    if text.isascii() and text.isprintable():
        return text
    return "".join(f"<U+{ord(ch):04X}>" if is_hidden(ch) else ch for ch in text)
