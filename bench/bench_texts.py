"""The texts the benchmarks sanitize, the same bytes on every run.

- the UDHR corpus: every *.txt file of the folder, concatenated in file-name
  order as stored;
- ASCII prose: the generator of bench_inputs.cpp, so that the C++ and Python
  benchmarks read the same prose;
- emoji chat: short messages mixing words with emoji presentation selectors,
  ZWJ sequences, skin tones and flags, the emoji-heavy side of a chat pipeline;
- adversarial: prose in which about one code point in five is one that
  balanced_chat removes (zero width spaces, bidi controls, tag characters,
  excess variation selectors, C0 and C1 controls).

Run as a script, it writes the texts that pipeline_bench reads, and the
chat messages of its per-message case, each ended by a NUL byte:

    python bench/bench_texts.py --out DIR [--corpus DIR]
"""

import argparse
import pathlib
import random
import sys

REPO_ROOT = pathlib.Path(__file__).resolve().parent.parent
DEFAULT_CORPUS = REPO_ROOT / ".." / "shared" / "corpus" / "udhr"

MB = 1_000_000

# Generated texts are made at this size and repeated: generating them code
# point by code point in Python costs about a second per megabyte.
_GENERATED_BLOCK_BYTES = MB

# With this chance of an insertion after each prose character, and 1.4 code
# points per insertion on average, one code point in five is removable.
_ADVERSARIAL_INSERTION_CHANCE = 0.28

# Code points in the adversarial text: the longest prefix that stays well
# under the 10000 span events allowed per call (one per removal or flag).
ADVERSARIAL_SPANS_CHARS = 30_000


def load_corpus(folder: pathlib.Path) -> tuple[str, int]:
    """The concatenated corpus and its number of files."""
    files = sorted(folder.glob("*.txt"))
    if not files:
        raise SystemExit(f"no .txt files in {folder}")
    return "".join(path.read_text(encoding="utf-8") for path in files), len(files)


def utf8_size(text: str) -> int:
    return len(text.encode("utf-8"))


def repeat_to_size(text: str, size: int) -> str:
    """The text repeated and cut to `size` UTF-8 bytes, minus a code point cut in two."""
    data = text.encode("utf-8")
    copies = -(-size // len(data))
    return (data * copies)[:size].decode("utf-8", errors="ignore")


def corpus_to_size(corpus: str, size: int) -> str:
    """The corpus repeated to `size` UTF-8 bytes or, when it is larger, evenly
    spaced slices of it: its files go by number, not by script, so that a
    prefix would hold little but Latin script."""
    total = utf8_size(corpus)
    if size >= total:
        return repeat_to_size(corpus, size)
    step = len(corpus) // _CORPUS_SLICES
    slice_chars = int(step * size / total)
    sample = "".join(corpus[start : start + slice_chars] for start in range(0, step * _CORPUS_SLICES, step))
    return repeat_to_size(sample, size)


_CORPUS_SLICES = 100

_PROSE_WORDS = (
    "the of and to a in that is for it with as was on be by "
    "right everyone free shall equal dignity person law "
    "freedom education work protection country nations family society"
).split()


def _make_prose(size: int) -> str:
    # The linear congruential generator of bench_inputs.cpp, step for step.
    mask = (1 << 64) - 1
    state = 0x2545F4914F6CDD1D

    def next_index(bound: int) -> int:
        nonlocal state
        state = (state * 6364136223846793005 + 1442695040888963407) & mask
        return (state >> 33) % bound

    parts: list[str] = []
    length = 0
    while length < size:
        paragraph: list[str] = []
        for _ in range(3 + next_index(4)):
            words = 6 + next_index(14)
            for w in range(words):
                word = _PROSE_WORDS[next_index(len(_PROSE_WORDS))]
                paragraph.append(word.capitalize() if w == 0 else word)
                paragraph.append(". " if w + 1 == words else (", " if next_index(9) == 0 else " "))
        paragraph[-1] = paragraph[-1][:-1] + "\n"
        text = "".join(paragraph)
        parts.append(text)
        length += len(text)
    return "".join(parts)[:size]


def ascii_prose(size: int) -> str:
    return repeat_to_size(_make_prose(min(size, _GENERATED_BLOCK_BYTES)), size)


_CHAT_WORDS = "lol ok see you at the party tonight love it thanks so much great job team who is in".split()

_EMOJI = (
    # emoji presentation selectors after text-default symbols
    "\u2764\ufe0f",
    "\u263a\ufe0f",
    "\u2600\ufe0f",
    "\u270c\ufe0f",
    "\u2714\ufe0f",
    # ZWJ sequences: family, technologist, rainbow flag, firefighter with skin tone
    "\U0001f468\u200d\U0001f469\u200d\U0001f467\u200d\U0001f466",
    "\U0001f469\u200d\U0001f4bb",
    "\U0001f3f3\ufe0f\u200d\U0001f308",
    "\U0001f9d1\U0001f3fd\u200d\U0001f692",
    # skin tones
    "\U0001f44d\U0001f3fd",
    "\U0001f44b\U0001f3fb",
    "\U0001f64f\U0001f3ff",
    # regional indicator flags and the tag-sequence flag of England
    "\U0001f1eb\U0001f1f7",
    "\U0001f1ef\U0001f1f5",
    "\U0001f1e7\U0001f1f7",
    "\U0001f3f4\U000e0067\U000e0062\U000e0065\U000e006e\U000e0067\U000e007f",
    # plain emoji
    "\U0001f600",
    "\U0001f602",
    "\U0001f389",
    "\U0001f525",
)


def _make_emoji_chat(size: int) -> str:
    rng = random.Random(20240611)
    lines: list[str] = []
    length = 0
    while length < size:
        tokens = (rng.choice(_EMOJI) if rng.random() < 0.3 else rng.choice(_CHAT_WORDS) for _ in range(rng.randint(3, 15)))
        line = " ".join(tokens) + "\n"
        lines.append(line)
        length += utf8_size(line)
    return "".join(lines)


def emoji_chat(size: int) -> str:
    return repeat_to_size(_make_emoji_chat(min(size, _GENERATED_BLOCK_BYTES)), size)


_BIDI_CONTROLS = [chr(c) for c in [*range(0x202A, 0x202F), *range(0x2066, 0x206A)]]
_CONTROLS = [chr(c) for c in [*range(0x01, 0x09), 0x0B, 0x0C, *range(0x0E, 0x20), *range(0x7F, 0xA0)]]

# Each yields one code point that balanced_chat removes; the heart keeps
# its first selector and loses the surplus one.
_REMOVABLE = (
    lambda rng: "\u200b",
    lambda rng: rng.choice(_BIDI_CONTROLS),
    lambda rng: chr(0xE0000 + rng.randint(0x20, 0x7E)),
    lambda rng: "\u2764\ufe0f\ufe0f",
    lambda rng: rng.choice(_CONTROLS),
)


def _make_adversarial(size: int) -> str:
    rng = random.Random(20240612)
    out: list[str] = []
    for ch in _make_prose(size):
        out.append(ch)
        if rng.random() < _ADVERSARIAL_INSERTION_CHANCE:
            out.append(rng.choice(_REMOVABLE)(rng))
    return "".join(out)


def adversarial(size: int) -> str:
    return repeat_to_size(_make_adversarial(min(size, _GENERATED_BLOCK_BYTES)), size)


def adversarial_for_spans() -> str:
    """The adversarial text short enough to be sanitized with return_spans."""
    return _make_adversarial(_GENERATED_BLOCK_BYTES)[:ADVERSARIAL_SPANS_CHARS]


def chat_messages(corpus: str, count: int) -> list[str]:
    """Slices of 50 to 300 characters of the corpus, from fixed random places."""
    rng = random.Random(20240613)
    messages = []
    for _ in range(count):
        length = rng.randint(50, 300)
        start = rng.randrange(len(corpus) - length)
        messages.append(corpus[start : start + length])
    return messages


def mixed_chat_messages(corpus: str, count: int) -> list[str]:
    """Chat messages as a gateway sees them: corpus slices and emoji chat
    slices, interleaved."""
    emoji = emoji_chat(2 * MB)
    return [
        message
        for pair in zip(chat_messages(corpus, count // 2), chat_messages(emoji, count // 2))
        for message in pair
    ]


# The messages of pipeline_bench's per-message case, and the byte that ends
# each of them in its file: neither the corpus nor emoji chat holds it.
PIPELINE_MESSAGES = 10_000
MESSAGE_END = "\0"


def write_pipeline_texts(out: pathlib.Path, corpus_folder: pathlib.Path) -> None:
    """The inputs of pipeline_bench, one UTF-8 file each."""
    out.mkdir(parents=True, exist_ok=True)
    corpus, _ = load_corpus(corpus_folder)
    texts = {
        "corpus.txt": corpus,
        "ascii_prose.txt": ascii_prose(10 * MB),
        "emoji_chat.txt": emoji_chat(10 * MB),
        "adversarial.txt": adversarial(10 * MB),
        "adversarial_spans.txt": adversarial_for_spans(),
    }
    messages = mixed_chat_messages(corpus, PIPELINE_MESSAGES)
    if any(MESSAGE_END in message for message in messages):
        raise SystemExit("a chat message holds the byte that ends messages")
    texts["chat_messages.txt"] = "".join(message + MESSAGE_END for message in messages)
    for name, text in texts.items():
        (out / name).write_bytes(text.encode("utf-8"))
        print(f"{out / name}: {utf8_size(text)} bytes")


def main() -> int:
    parser = argparse.ArgumentParser(description="Writes the inputs of pipeline_bench.")
    parser.add_argument("--out", type=pathlib.Path, required=True, help="folder to write the texts into")
    parser.add_argument("--corpus", type=pathlib.Path, default=DEFAULT_CORPUS, help="folder of UDHR *.txt files")
    args = parser.parse_args()
    write_pipeline_texts(args.out, args.corpus)
    return 0


if __name__ == "__main__":
    sys.exit(main())
