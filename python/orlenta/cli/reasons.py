"""What each finding of ``orlenta check`` means, for help texts and SARIF rules."""

# The per-character reasons of the report, then the other findings of
# check: bytes that are not UTF-8, a file that normalization would change,
# and the kinds of orlenta.analyze, which --signals reports.
REASON_HELP = {
    "bidi_control": "A bidi embedding, override or isolate (U+202A-202E, U+2066-2069): it reorders how the "
    "text around it is displayed, so code can read differently from how it runs (Trojan Source).",
    "bidi_mark": "A bidi mark (U+200E, U+200F, U+061C): invisible, it changes the display order of "
    "neighbouring text.",
    "carriage_return": "A carriage return that does not end a CR LF line ending: some tools treat it as a "
    "line break and others do not, so a line can hide what follows it.",
    "control_or_format": "A control character or invisible operator that has no business in text.",
    "default_ignorable": "A default-ignorable code point (soft hyphen, joiner, variation selector, Hangul "
    "filler, ...): rendered as nothing, it can make two identifiers look alike or smuggle data.",
    "invalid_variation_selector": "A variation selector that forms no known variation sequence with the "
    "character before it: invisible, and a way to smuggle data.",
    "junk_invisible": "A zero-width space, word joiner or byte order mark inside the text: invisible, it "
    "splits or joins identifiers and keywords unseen.",
    "line_separator": "U+2028 or U+2029: a line break to some tools and not to others.",
    "tag_char": "A tag character (U+E0000-E007F): invisible, it can carry a hidden ASCII message.",
    "variation_selector_excess": "A variation selector after another one: it selects nothing and can "
    "only carry hidden data.",
    "not_utf8": "The file is not valid UTF-8 from this byte on.",
    "not_normalized": "The file is not in the policy's normalization form: normalizing changes it from "
    "this code point on (off unless --normalization-findings).",
    "encoded_payload": "A base64, base64url, hex or percent-encoded run that decodes to 24 bytes or more: "
    "a way to carry instructions or data past a reader (with --signals).",
    "unusual_entropy": "A stretch of text whose characters are far more varied than prose of its script "
    "reaches: encoded or random data (with --signals).",
    "combining_abuse": "A character carrying more combining marks than its script's orthography uses (with "
    "--signals).",
    "zalgo": "A Latin, Greek or Cyrillic letter carrying three combining marks or more, which pile up over "
    "the neighbouring lines (with --signals).",
    "joiner_out_of_context": "A zero width joiner or non-joiner where no script or emoji gives it a job: it "
    "splits or joins identifiers unseen, or carries a bit of a hidden message (with --signals).",
    "zero_width_run": "Two or more zero-width code points in a row: no writing needs them, and they can spell "
    "a hidden message (with --signals).",
    "mixed_script": "A word that mixes scripts beyond what ordinary writing does (with --signals).",
    "confusable": "A word that imitates a word of one script with look-alike letters of another, so that "
    "two different identifiers read the same (with --signals).",
}

SIGNAL_REASONS = (
    "encoded_payload",
    "unusual_entropy",
    "combining_abuse",
    "zalgo",
    "joiner_out_of_context",
    "zero_width_run",
    "mixed_script",
    "confusable",
)


def summary(reason: str) -> str:
    """The first sentence of the reason's help text."""
    return REASON_HELP[reason].split(": ")[0].rstrip(".")
