"""Code point properties as run tables, for the small properties that are
read only at a few candidate code points (joining types, virama classes,
emoji properties).

A run table lists where each run of equal values begins: entry i is
(first code point of the run << 8) | value, sorted, the first entry at
U+0000. The C++ side (src/classes/code_point_runs.h) finds the last run that
starts at or before a code point by bisection. Each run costs four bytes;
the properties these tables hold change value a few hundred times over the
code space, so the tables stay within a few kilobytes.
"""

import pathlib
import re

MAX_CP = 0x110000


def data_lines(path: pathlib.Path):
    """(code point range, fields after the first) of each data line of a UCD
    file of the form 'XXXX..YYYY ; Value # comment'."""
    for line in path.read_text(encoding="utf-8").splitlines():
        data = line.split("#", 1)[0].strip()
        if not data:
            continue
        fields = [field.strip() for field in data.split(";")]
        first, _, last = fields[0].partition("..")
        yield range(int(first, 16), int(last or first, 16) + 1), fields[1:]


def file_version(path: pathlib.Path, pattern: str) -> str:
    """The version a UCD file names in its header, matched by `pattern` (a
    regular expression with one group) against its first ten lines."""
    head = "\n".join(path.read_text(encoding="utf-8").splitlines()[:10])
    match = re.search(pattern, head, re.MULTILINE)
    if not match:
        raise ValueError(f"{path}: no version in its header")
    return match.group(1)


def runs(values: dict[int, int]) -> list[int]:
    """The run table of a map from code point to a value below 256 (absent
    code points have the value 0)."""
    table, previous = [], None
    for cp in range(MAX_CP):
        value = values.get(cp, 0)
        assert 0 <= value < 256
        if value != previous:
            table.append(cp << 8 | value)
            previous = value
    return table


def runs_array(name: str, table: list[int]) -> list[str]:
    """The C++ lines defining the run table `name`, four entries a line."""
    lines = [f"constexpr std::uint32_t {name}[] = {{"]
    for i in range(0, len(table), 4):
        lines.append("    " + " ".join(f"0x{entry:08X}," for entry in table[i:i + 4]))
    lines.append("};")
    return lines
