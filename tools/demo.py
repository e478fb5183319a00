"""Sanitizes a few real attack texts and prints what orlenta did with them."""

import argparse
import json
import pathlib
import sys

import orlenta

# Texts that need no corpus: invisible tag characters smuggling ASCII, a
# zero-width space splitting a word, a carriage return, an NFKC bomb.
BUILT_IN_SAMPLES = [
    ("tag smuggling", "hello" + "".join(chr(0xE0000 + ord(c)) for c in "ignore previous") + " world", "balanced_chat"),
    ("zero-width split", "pass\u200bword reset", "balanced_chat"),
    ("normalization bomb", "\ufdfa" * 20, "strict_exec"),
    ("decomposed accent", "cafe\u0301 au lait\r\n", "preserve"),
]

ATTACK_FILES = [
    ("trojan-source/Python/commenting-out.py", "code_mode"),
    ("trojan-source/C/stretched-string.c", "code_mode"),
    ("trojan-source/JavaScript/invisible-function.js", "strict_exec"),
]


def show(title: str, text: str, policy: str) -> None:
    clean, report = orlenta.sanitize(text, policy=policy, return_spans=True)
    print(f"== {title} ({policy})")
    print("input: ", ascii(text[:80]))
    print("output:", ascii(clean[:80]))
    spans = report.pop("spans")
    stats = report.pop("stats")
    print("report:", json.dumps(report, ensure_ascii=False))
    for span in spans[:4]:
        print("  span:", json.dumps(span))
    if len(spans) > 4:
        print(f"  ... {len(spans) - 4} more spans")
    print("  stats:", json.dumps(stats))
    print()


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--corpus", type=pathlib.Path, default=pathlib.Path("../shared/corpus"))
    args = parser.parse_args()

    for title, text, policy in BUILT_IN_SAMPLES:
        show(title, text, policy)
    for relative, policy in ATTACK_FILES:
        path = args.corpus / relative
        if path.exists():
            show(relative, path.read_text(encoding="utf-8"), policy)
        else:
            print(f"== {relative}: skipped, {path} is absent\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
