#!/usr/bin/env python3
"""Fails when a source file includes a header of a layer above its own.

The layers, lowest first (components on one line are side by side and may
not include each other):

    base
    text
    unicode (normkit)
    classes
    policy, report
    passes, detect
    pipeline
    python

A component may include its own headers and those of any lower layer.
Includes name a header by its component's folder ("policy/policy.h"), or
normkit's by "normkit/..."; an include without a folder is a file beside
the includer.

    python3 tools/check_layers.py [--src DIR]
"""

import argparse
import pathlib
import re
import sys

LAYERS = [
    ["base"],
    ["text"],
    ["unicode"],
    ["classes"],
    ["policy", "report"],
    ["passes", "detect"],
    ["pipeline"],
    ["python"],
]
RANK = {component: rank for rank, layer in enumerate(LAYERS) for component in layer}
# The folder an include names, for those that differ from the component.
INCLUDE_FOLDERS = {"normkit": "unicode"}
INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([A-Za-z_]+)/[^>"]+[>"]', re.MULTILINE)
SOURCE_SUFFIXES = {".h", ".cpp", ".inc", ".in"}


def violations(src: pathlib.Path) -> list[str]:
    found = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in SOURCE_SUFFIXES or not path.is_file():
            continue
        component = path.relative_to(src).parts[0]
        if component not in RANK:
            found.append(f"{path}: folder {component!r} has no layer; add it to tools/check_layers.py")
            continue
        for match in INCLUDE.finditer(path.read_text(encoding="utf-8")):
            folder = match.group(1)
            included = INCLUDE_FOLDERS.get(folder, folder)
            if included not in RANK:
                continue  # a system or third-party header
            if included != component and RANK[included] >= RANK[component]:
                line = path.read_text(encoding="utf-8").count("\n", 0, match.start()) + 1
                found.append(f"{path}:{line}: {component} includes {match.group(0).strip()!r} from {included}, "
                             "which is not below it")
    return found


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--src", type=pathlib.Path, default=pathlib.Path(__file__).resolve().parent.parent / "src")
    found = violations(parser.parse_args().src)
    for line in found:
        print(line, file=sys.stderr)
    if found:
        return 1
    print(f"layers: every include goes to its own component or one below ({' < '.join('/'.join(l) for l in LAYERS)})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
