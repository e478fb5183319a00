"""Per-script baselines of what real prose does, measured on the UDHR
corpus, for the detectors that judge a text against its own script.

- Mark limit: the most combining marks (General_Category M, variation
  selectors aside) that one base of the script carries in any translation,
  as it is and in NFD, or in the canonical decomposition of any character of
  the script; at least 2.
- Entropy baseline: the highest character entropy, in bits, of a window of
  WINDOW code points whose letters are mostly of the script. Characters are
  counted in ENTROPY_BUCKETS buckets by their low bits, as
  src/detect/unusual_entropy.cpp counts them (a window's letters of one
  script lie within a few thousand code points, so they rarely share a
  bucket); a window's script is that of most of its letters, read from each
  bucket's first character, ties to the lower code.

The corpus is read from corpus/udhr beside the UCD folder's parent (the
shared folder holds both). Output: src/detect/script_baselines.inc.
"""

import json
import math
import pathlib

from scripts import _data_lines, read_scripts, unicode_version

WINDOW = 512
ENTROPY_BUCKETS = 4096
MIN_MARK_LIMIT = 2
NO_SCRIPT = ("Zyyy", "Zinh", "Zzzz")


def _is_variation_selector(cp: int) -> bool:
    return 0xFE00 <= cp <= 0xFE0F or 0xE0100 <= cp <= 0xE01EF


def _marks_and_decompositions(ucd_dir: pathlib.Path) -> tuple[set[int], dict[int, list[int]]]:
    """The marks that count in a stack, and every canonical decomposition."""
    marks, decompositions = set(), {}
    for fields in _data_lines(ucd_dir / "UnicodeData.txt"):
        cp = int(fields[0], 16)
        if fields[2].startswith("M") and not _is_variation_selector(cp):
            marks.add(cp)
        if fields[5] and not fields[5].startswith("<"):
            decompositions[cp] = [int(part, 16) for part in fields[5].split()]
    return marks, decompositions


def _decomposed(cps, decompositions):
    """Full canonical decomposition, without reordering: a stack's size does
    not depend on its order."""
    for cp in cps:
        if cp in decompositions:
            yield from _decomposed(decompositions[cp], decompositions)
        else:
            yield cp


def _stacks(cps, marks):
    """(base, number of marks) for every base that carries marks; a stack at
    the start of the text has no base (None)."""
    base, count = None, 0
    for cp in cps:
        if cp in marks:
            count += 1
            continue
        if count:
            yield base, count
        base, count = cp, 0
    if count:
        yield base, count


def _window_entropies(cps, scripts):
    """(script, entropy) of every full window, as the detector measures it."""
    for start in range(0, len(cps) - WINDOW + 1, WINDOW):
        counts, first = {}, {}
        for cp in cps[start : start + WINDOW]:
            bucket = cp % ENTROPY_BUCKETS
            counts[bucket] = counts.get(bucket, 0) + 1
            first.setdefault(bucket, cp)
        letters = {}
        for bucket, count in counts.items():
            script = scripts.get(first[bucket], "Zzzz")
            if script not in NO_SCRIPT:
                letters[script] = letters.get(script, 0) + count
        if letters:
            script = min(letters, key=lambda code: (-letters[code], code))
            entropy = math.log2(WINDOW) - sum(c * math.log2(c) for c in counts.values()) / WINDOW
            yield script, entropy


def script_baselines_table(ucd_dir: pathlib.Path, command: str) -> str:
    scripts = read_scripts(ucd_dir)
    marks, decompositions = _marks_and_decompositions(ucd_dir)
    corpus = ucd_dir.parent.parent / "corpus" / "udhr"
    index = json.loads((corpus / "index.json").read_text(encoding="utf-8"))

    mark_limits, entropies = {}, {}
    for cp, mapping in decompositions.items():
        count = sum(1 for c in _decomposed(mapping, decompositions) if c in marks)
        script = scripts.get(cp, "Zzzz")
        mark_limits[script] = max(mark_limits.get(script, 0), count)
    for entry in index:
        cps = [ord(ch) for ch in (corpus / entry["file"]).read_text(encoding="utf-8")]
        for text in (cps, list(_decomposed(cps, decompositions))):
            for base, count in _stacks(text, marks):
                script = "Zyyy" if base is None else scripts.get(base, "Zzzz")
                mark_limits[script] = max(mark_limits.get(script, 0), count)
        for script, entropy in _window_entropies(cps, scripts):
            entropies[script] = max(entropies.get(script, 0.0), entropy)

    rows = []
    for script in sorted(set(mark_limits) | set(entropies)):
        limit = max(MIN_MARK_LIMIT, mark_limits.get(script, 0))
        # Rounded up, so that the table never sits below what was measured.
        entropy = math.ceil(entropies[script] * 1000) / 1000 if script in entropies else 0.0
        if limit == MIN_MARK_LIMIT and not entropy:
            continue
        rows.append(f"    {{Script::{script}, {limit}, {entropy:.3f}f}},")
    version = unicode_version(ucd_dir)
    return "\n".join(
        [
            f"// Unicode {version} per-script baselines, generated by `{command}`; do not edit.",
            f"// Measured on the {len(index)} UDHR translations (each as it is and in NFD) and the canonical",
            "// decompositions: {script, most marks on one base (at least "
            f"{MIN_MARK_LIMIT}), highest entropy in bits of a",
            f"// window of {WINDOW} code points mostly in the script (0: no such window)}}. Scripts left out",
            f"// have a limit of {MIN_MARK_LIMIT} marks and no entropy baseline.",
            "",
            f"constexpr std::size_t entropy_window = {WINDOW};",
            f"constexpr std::size_t entropy_buckets = {ENTROPY_BUCKETS};",
            f"constexpr unsigned min_mark_limit = {MIN_MARK_LIMIT};",
            "",
            "constexpr ScriptBaseline script_baseline_rows[] = {",
            *rows,
            "};",
            "",
        ]
    )
