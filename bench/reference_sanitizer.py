"""A plain pure-Python sanitizer, written the way people write one today.

It is the yardstick of the benchmarks: NFC with unicodedata, one compiled
regular expression deleting the code points that orlenta removes under
"balanced_chat", and two more that tidy whitespace. It keeps no report and
does not cap variation selectors, so it does less than orlenta does; a ratio
against it errs on the side of flattering the reference.
"""

import re
import unicodedata

# The classes balanced_chat removes, as one character class. A run is
# removed in one match, which is how such an expression is usually written
# and the fastest way for re to delete it.
_INVISIBLE_OR_CONTROL = re.compile(
    "["
    "\x00-\x08\x0b-\x1f\x7f-\x9f"  # C0 and C1 controls but tab and line feed (carriage return included)
    "\u200b\u2060\ufeff"  # zero width space, word joiner, zero width no-break space
    "\u2028\u2029"  # line and paragraph separators
    "\u202a-\u202e"  # bidi embeddings and overrides
    "\u2061-\u206f"  # invisible operators, bidi isolates, deprecated format characters
    "\ufff9-\ufffb"  # interlinear annotation
    "\U000e0000-\U000e00ff"  # tag characters
    "]+"
)

# Tab and the space separators (General_Category Zs), the horizontal
# whitespace that collapses to one space.
_HORIZONTAL_WHITESPACE = re.compile("[\t \u00a0\u1680\u2000-\u200a\u202f\u205f\u3000]+")

# After the collapse a line's leading or trailing whitespace is one space.
_SPACE_BESIDE_LINE_FEED = re.compile(" ?\n ?")


def sanitize(text: str) -> str:
    text = unicodedata.normalize("NFC", text)
    text = _INVISIBLE_OR_CONTROL.sub("", text)
    text = _HORIZONTAL_WHITESPACE.sub(" ", text)
    text = _SPACE_BESIDE_LINE_FEED.sub("\n", text)
    return text.strip(" ").rstrip("\n")
