#!/usr/bin/env python3
"""Generate the compact Unicode tables of normkit from the Unicode Character Database.

Usage (from anywhere; paths are relative to the repository root):

    python3 tools/gen_tables.py                 # regenerate the committed tables
    python3 tools/gen_tables.py --check         # exit 1 if a committed table is stale
    python3 tools/gen_tables.py --ucd DIR       # read the UCD from DIR

Standard library only. Every output file is produced by one function taking the
loaded `Ucd` and returning the file's text; OUTPUTS lists (path, function)
pairs, so a new table is one new function plus one new line in OUTPUTS.
Output is deterministic: the same UCD gives the same bytes.
"""

import argparse
import os
import pathlib
import re
import sys

from confusables import confusables_table
from emoji_properties import emoji_properties_table
from indic_syllabic_category import indic_syllabic_category_table
from joining_types import joining_type_table
from script_baselines import script_baselines_table
from scripts import script_tables
from variation_sequences import variation_sequences_table

REPO_ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
DEFAULT_UCD = "../shared/ucd/17.0.0"  # relative to REPO_ROOT

MAX_CP = 0x110000

# Hangul syllables (Unicode chapter 3.12); the normalizer handles them algorithmically.
S_BASE, L_BASE, V_BASE, T_BASE = 0xAC00, 0x1100, 0x1161, 0x11A7
L_COUNT, V_COUNT, T_COUNT = 19, 21, 28
S_COUNT = L_COUNT * V_COUNT * T_COUNT


def is_hangul_syllable(cp):
    return S_BASE <= cp < S_BASE + S_COUNT


# ---------------------------------------------------------------------------
# Reading the UCD


def _data_lines(path):
    """Yields the non-comment fields of a UCD data file, split on ';'."""
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                yield [field.strip() for field in line.split(";")]


def _cp_range(text):
    if ".." in text:
        first, last = text.split("..")
        return range(int(first, 16), int(last, 16) + 1)
    return range(int(text, 16), int(text, 16) + 1)


class Ucd:
    """The parts of the UCD the generators need, loaded on first use."""

    def __init__(self, directory):
        self.directory = directory
        self._cache = {}

    def path(self, name):
        return os.path.join(self.directory, name)

    def _cached(self, key, loader):
        if key not in self._cache:
            self._cache[key] = loader()
        return self._cache[key]

    @property
    def version(self):
        def load():
            with open(self.path("DerivedNormalizationProps.txt"), encoding="utf-8") as f:
                m = re.match(r"# DerivedNormalizationProps-(\d+\.\d+\.\d+)\.txt", f.readline())
            if not m:
                raise SystemExit("cannot read the Unicode version from DerivedNormalizationProps.txt")
            return m.group(1)

        return self._cached("version", load)

    @property
    def unicode_data(self):
        """cp -> (general_category, ccc, decomposition tag or None, [decomposition])."""

        def load():
            data = {}
            range_start = None
            for fields in _data_lines(self.path("UnicodeData.txt")):
                cp, name, gc, ccc, decomp = int(fields[0], 16), fields[1], fields[2], int(fields[3]), fields[5]
                tag, mapping = None, []
                if decomp:
                    parts = decomp.split()
                    if parts[0].startswith("<"):
                        tag, parts = parts[0], parts[1:]
                    mapping = [int(p, 16) for p in parts]
                if name.endswith(", First>"):
                    range_start = cp
                    continue
                if name.endswith(", Last>"):
                    for c in range(range_start, cp + 1):
                        data[c] = (gc, ccc, None, [])
                    range_start = None
                    continue
                data[cp] = (gc, ccc, tag, mapping)
            return data

        return self._cached("unicode_data", load)

    @property
    def composition_exclusions(self):
        def load():
            result = set()
            for fields in _data_lines(self.path("CompositionExclusions.txt")):
                result.update(_cp_range(fields[0]))
            return result

        return self._cached("composition_exclusions", load)

    @property
    def derived_normalization(self):
        """property name -> {cp: value} for NFC_QC, NFKC_QC (N/M) and the binary
        Full_Composition_Exclusion (value True)."""

        def load():
            props = {"NFC_QC": {}, "NFKC_QC": {}, "Full_Composition_Exclusion": {}}
            for fields in _data_lines(self.path("DerivedNormalizationProps.txt")):
                name = fields[1]
                if name not in props:
                    continue
                value = fields[2] if len(fields) > 2 else True
                for cp in _cp_range(fields[0]):
                    props[name][cp] = value
            return props

        return self._cached("derived_normalization", load)


# ---------------------------------------------------------------------------
# Normalization data derived from the UCD


class NormData:
    """Per code point normalization properties, checked for the invariants the
    C++ fast paths rely on."""

    def __init__(self, ucd):
        ud = ucd.unicode_data
        self.ccc = {cp: v[1] for cp, v in ud.items() if v[1]}
        self.marks = {cp for cp, v in ud.items() if v[0] in ("Mn", "Mc", "Me")}
        canon_raw = {cp: v[3] for cp, v in ud.items() if v[3] and v[2] is None}
        compat_raw = {cp: v[3] for cp, v in ud.items() if v[3]}

        def full(cp, raw, memo):
            if cp in memo:
                return memo[cp]
            if is_hangul_syllable(cp):
                result = hangul_decompose(cp)
            elif cp in raw:
                result = [d for c in raw[cp] for d in full(c, raw, memo)]
            else:
                result = [cp]
            memo[cp] = result
            return result

        canon_memo, compat_memo = {}, {}
        self.canon = {cp: full(cp, canon_raw, canon_memo) for cp in sorted(canon_raw)}
        self.compat = {cp: full(cp, compat_raw, compat_memo) for cp in sorted(compat_raw)}
        # Canonical reordering of the expansions (UAX #15 stores them unordered in
        # principle; in practice they are already ordered, which we check).
        for table in (self.canon, self.compat):
            for cp, seq in table.items():
                assert seq == self.reorder(seq), "decomposition of U+%04X needs reordering" % cp

        # Composition pairs: canonical two-code-point mappings that are not excluded.
        exclusions = set(ucd.composition_exclusions)
        full_exclusion = set(ucd.derived_normalization["Full_Composition_Exclusion"])
        derived_exclusion = set(exclusions)
        for cp, mapping in canon_raw.items():
            if len(mapping) == 1:  # singleton
                derived_exclusion.add(cp)
            elif self.ccc.get(cp, 0) != 0 or self.ccc.get(mapping[0], 0) != 0:  # non-starter decomposition
                derived_exclusion.add(cp)
        assert derived_exclusion == full_exclusion, "composition exclusions disagree with Full_Composition_Exclusion"
        self.pairs = {}
        for cp, mapping in sorted(canon_raw.items()):
            if cp in full_exclusion:
                continue
            assert len(mapping) == 2
            self.pairs[(mapping[0], mapping[1])] = cp
        self.backward = {second for (_, second) in self.pairs}
        self.backward.update(range(V_BASE, V_BASE + V_COUNT))
        self.backward.update(range(T_BASE + 1, T_BASE + T_COUNT))
        self.forward = {first for (first, _) in self.pairs}

        qc_values = {"N": 1, "M": 2}
        dn = ucd.derived_normalization
        self.nfc_qc = {cp: qc_values[v] for cp, v in dn["NFC_QC"].items()}
        self.nfkc_qc = {cp: qc_values[v] for cp, v in dn["NFKC_QC"].items()}
        self._check_invariants()

    def reorder(self, seq):
        out, run = [], []
        for cp in seq + [None]:
            if cp is not None and self.ccc.get(cp, 0):
                run.append(cp)
                continue
            out.extend(sorted(run, key=lambda c: self.ccc[c]))  # sorted() is stable
            run = []
            if cp is not None:
                out.append(cp)
        return out

    def _check_invariants(self):
        ccc = lambda c: self.ccc.get(c, 0)
        # Quick-check Maybe: the backward-combining code points, and (since Unicode
        # 16) a few composites whose decomposition starts with one.
        maybe_nfc = {cp for cp, v in self.nfc_qc.items() if v == 2}
        maybe_nfkc = {cp for cp, v in self.nfkc_qc.items() if v == 2}
        assert maybe_nfc == maybe_nfkc and self.backward <= maybe_nfc
        for cp in maybe_nfc - self.backward:
            assert self.canon[cp][0] in self.backward, hex(cp)
        for qc, decomp, form in ((self.nfc_qc, self.canon, "NFC"), (self.nfkc_qc, self.compat, "NFKC")):
            for cp in range(MAX_CP):
                yes = qc.get(cp, 0) == 0
                seq = decomp.get(cp, [cp])
                if yes and ccc(cp) == 0:
                    # A quick-check-Yes starter starts a new normalization segment:
                    # its decomposition starts with a starter that does not combine
                    # backward. The fast paths copy such code points unchanged.
                    assert ccc(seq[0]) == 0 and seq[0] not in self.backward, (form, hex(cp))
                if yes and ccc(cp) != 0:
                    # A quick-check-Yes non-starter has no decomposition.
                    assert seq == [cp], (form, hex(cp))
                if cp in decomp and not is_hangul_syllable(cp):
                    for d in seq:
                        assert qc.get(d, 0) != 1, (form, hex(cp))
        for cp, seq in self.compat.items():
            assert len(seq) <= 18


def hangul_decompose(cp):
    s = cp - S_BASE
    result = [L_BASE + s // (V_COUNT * T_COUNT), V_BASE + (s % (V_COUNT * T_COUNT)) // T_COUNT]
    if s % T_COUNT:
        result.append(T_BASE + s % T_COUNT)
    return result


# ---------------------------------------------------------------------------
# Compact lookup tables


def _int_type(values):
    top = max(values) if values else 0
    for limit, ctype in ((0x100, "std::uint8_t"), (0x10000, "std::uint16_t"), (0x100000000, "std::uint32_t")):
        if top < limit:
            return ctype
    raise ValueError("value too large")


_TYPE_BYTES = {"std::uint8_t": 1, "std::uint16_t": 2, "std::uint32_t": 4}


class _Blocks:
    """Deduplicated blocks of values laid end to end."""

    def __init__(self):
        self.data, self.offsets = [], {}

    def add(self, block):
        block = tuple(block)
        if block not in self.offsets:
            self.offsets[block] = len(self.data)
            self.data.extend(block)
        return self.offsets[block]


class Trie:
    """A multi-stage table (like CPython's makeunicodedata.py, with more stages)
    for a map from code point to small integer.

    With shifts (s0, s1, ..., sk) a lookup reads
        o = index0[cp >> s0]
        o = index1[o + ((cp >> s1) & ((1 << (s0 - s1)) - 1))]    and so on, then
        data[o + (cp & ((1 << sk) - 1))]
    over deduplicated blocks at every stage.

    fast=True adds a direct BMP index (bmp[cp >> sk] = data offset), so that a
    BMP code point costs two reads; the staged index then only serves the
    supplementary planes."""

    def __init__(self, name, values, shifts, default=0, fast=False):
        self.name, self.shifts, self.fast = name, tuple(shifts), fast
        get = values.get
        blocks = _Blocks()
        last = shifts[-1]
        level = [blocks.add(get(base + i, default) for i in range(1 << last))
                 for base in range(0, MAX_CP, 1 << last)]
        self.data = blocks.data
        self.bmp_index = None
        if fast:  # the staged index then leaves the BMP to bmp_index
            self.bmp_index = level[:0x10000 >> last]
            level = [0] * len(self.bmp_index) + level[len(self.bmp_index):]
        self.indexes = []
        for upper, lower in reversed(list(zip(shifts, shifts[1:]))):
            size = 1 << (upper - lower)
            blocks = _Blocks()
            level = [blocks.add(level[i:i + size]) for i in range(0, len(level), size)]
            self.indexes.insert(0, blocks.data)
        self.indexes.insert(0, level)
        for cp in sorted(values)[:: max(1, len(values) // 5000)] + [0, 0xFFFF, 0x10000, 0x10FFFF]:
            assert self.lookup(cp) == get(cp, default), (name, hex(cp))

    def lookup(self, cp):
        if self.fast and cp < 0x10000:
            return self.data[self.bmp_index[cp >> self.shifts[-1]] + (cp & ((1 << self.shifts[-1]) - 1))]
        offset = self.indexes[0][cp >> self.shifts[0]]
        for index, (upper, lower) in zip(self.indexes[1:], zip(self.shifts, self.shifts[1:])):
            offset = index[offset + ((cp >> lower) & ((1 << (upper - lower)) - 1))]
        return self.data[offset + (cp & ((1 << self.shifts[-1]) - 1))]

    def arrays(self):
        result = [("Index%d" % i, index) for i, index in enumerate(self.indexes)]
        if self.fast:
            result.append(("BmpIndex", self.bmp_index))
        result.append(("Data", self.data))
        return result

    def size(self):
        return sum(_TYPE_BYTES[_int_type(values)] * len(values) for _, values in self.arrays())

    def emit(self, out):
        out.append("inline constexpr unsigned %sShifts[%d] = {%s};\n"
                   % (self.name, len(self.shifts), ", ".join(str(s) for s in self.shifts)))
        for suffix, values in self.arrays():
            out.append(array(self.name + suffix, _int_type(values), values))


def array(name, ctype, values, per_line=16, fmt="0x%04X"):
    lines = ["inline constexpr %s %s[%d] = {" % (ctype, name, len(values))]
    for i in range(0, len(values), per_line):
        lines.append("    " + ", ".join(fmt % v for v in values[i:i + per_line]) + ",")
    lines.append("};")
    return "\n".join(lines) + "\n"


def utf16(seq):
    units = []
    for cp in seq:
        if cp >= 0x10000:
            cp -= 0x10000
            units += [0xD800 | (cp >> 10), 0xDC00 | (cp & 0x3FF)]
        else:
            units.append(cp)
    return units


# Bits of a props value (keep in sync with src/unicode/src/unicode_data.h).
PROP_CCC_MASK = 0xFF
PROP_NFC_QC_SHIFT = 8
PROP_NFKC_QC_SHIFT = 10
PROP_MARK = 1 << 12
PROP_CANON_DECOMP = 1 << 13
PROP_COMPAT_DECOMP = 1 << 14
PROP_BACKWARD = 1 << 15

# Stage shifts: the props table is read for every code point and gets a direct
# BMP index; the others are read only off the fast paths and favour size.
PROPS_SHIFTS = (12, 5)
SMALL_SHIFTS = (12, 6, 3)


def gen_normalization_tables(ucd, command):
    nd = NormData(ucd)
    sizes = {}
    out = []
    out.append("// Unicode %s normalization tables for normkit. Generated by: %s\n" % (ucd.version, command))
    out.append("// Do not edit; regenerate instead. Included by src/unicode/src/unicode_data.h,\n"
               "// inside namespace normkit::detail.\n\n")
    out.append('inline constexpr char kTablesUnicodeVersion[] = "%s";\n\n' % ucd.version)

    # 1. Props: ccc, quick checks, mark, decomposition and composition flags.
    props = {}
    all_cps = set(nd.ccc) | nd.marks | set(nd.canon) | set(nd.compat) | nd.backward | set(nd.nfc_qc) | set(nd.nfkc_qc)
    all_cps.update(range(S_BASE, S_BASE + S_COUNT))
    for cp in sorted(all_cps):
        v = nd.ccc.get(cp, 0)
        v |= nd.nfc_qc.get(cp, 0) << PROP_NFC_QC_SHIFT
        v |= nd.nfkc_qc.get(cp, 0) << PROP_NFKC_QC_SHIFT
        if cp in nd.marks:
            v |= PROP_MARK
        if cp in nd.canon or is_hangul_syllable(cp):
            v |= PROP_CANON_DECOMP
        if cp in nd.compat or is_hangul_syllable(cp):
            v |= PROP_COMPAT_DECOMP
        if cp in nd.backward:
            v |= PROP_BACKWARD
        if v:
            props[cp] = v
    out.append("// Below these code points every code point is a quick-check-Yes starter.\n")
    for name, shift in (("kNfcMinNoMaybe", PROP_NFC_QC_SHIFT), ("kNfkcMinNoMaybe", PROP_NFKC_QC_SHIFT)):
        mask = PROP_CCC_MASK | (3 << shift)
        first = next(cp for cp in range(MAX_CP) if props.get(cp, 0) & mask)
        out.append("inline constexpr char32_t %s = 0x%04X;\n" % (name, first))
    props_trie = Trie("kProps", props, PROPS_SHIFTS, fast=True)
    props_trie.emit(out)
    sizes["props"] = props_trie.size()
    out.append("\n")

    # 1b. The quick-check-Yes starters of the BMP as bits, by far the smallest
    #     table the scan of the fast paths needs: it stays in the cache.
    out.append("// Quick-check-Yes starters (ccc 0, quick check Yes) of the BMP: bit cp & 63 of\n"
               "// k*YesBits[k*YesIndex[cp >> 6]].\n")
    for name, shift in (("kNfc", PROP_NFC_QC_SHIFT), ("kNfkc", PROP_NFKC_QC_SHIFT)):
        mask = PROP_CCC_MASK | (3 << shift)
        blocks, index = {}, []
        for block in range(0x10000 >> 6):
            bits = 0
            for i in range(64):
                if props.get((block << 6) | i, 0) & mask == 0:
                    bits |= 1 << i
            index.append(blocks.setdefault(bits, len(blocks)))
        out.append(array(name + "YesIndex", _int_type(index), index, fmt="%d", per_line=32))
        out.append(array(name + "YesBits", "std::uint64_t", list(blocks), per_line=4, fmt="0x%016XULL"))
        sizes[name[1:].lower() + " yes bits"] = _TYPE_BYTES[_int_type(index)] * len(index) + 8 * len(blocks)
    out.append("\n")

    # 2. Decompositions: one record per code point in a pool of UTF-16 code units:
    #    a header (canonical length | compatibility length << 3, in code units),
    #    the full canonical decomposition, then the full compatibility
    #    decomposition when it differs (compatibility length 0: same as canonical).
    pool = [0]
    record_offsets = {}
    decomp_map = {}
    for cp in sorted(set(nd.canon) | set(nd.compat)):
        canon = utf16(nd.canon.get(cp, []))
        compat = utf16(nd.compat[cp])
        if compat == canon:
            compat = []
        assert len(canon) < 8 and len(compat) < 32
        record = (len(canon) | (len(compat) << 3),) + tuple(canon) + tuple(compat)
        if record not in record_offsets:
            record_offsets[record] = len(pool)
            pool.extend(record)
        decomp_map[cp] = record_offsets[record]
    assert len(pool) < 0x10000
    decomp_trie = Trie("kDecomp", decomp_map, SMALL_SHIFTS)
    out.append("// Decomposition record per code point: offset in kDecompPool (0: none). Hangul\n"
               "// syllables are algorithmic.\n")
    decomp_trie.emit(out)
    out.append("// Records: a header (canonical length | compatibility length << 3, in UTF-16 code\n"
               "// units), the full canonical decomposition, then the full compatibility\n"
               "// decomposition if it differs (compatibility length 0: same as canonical).\n")
    out.append(array("kDecompPool", "std::uint16_t", pool))
    sizes["decompositions"] = decomp_trie.size() + 2 * len(pool)
    out.append("\n")

    # 3. Compositions: per first code point, its list of (second, composite) pairs.
    by_first = {}
    for (first, second), composite in sorted(nd.pairs.items()):
        by_first.setdefault(first, []).append((second, composite))
    comp_pairs = [0, 0]
    comp_map = {}
    for first in sorted(by_first):
        comp_map[first] = len(comp_pairs) // 2
        pairs = by_first[first]
        for i, (second, composite) in enumerate(pairs):
            last = 0x80000000 if i == len(pairs) - 1 else 0
            comp_pairs += [second | last, composite]
    assert len(comp_pairs) // 2 < 0x10000
    comp_trie = Trie("kComp", comp_map, SMALL_SHIFTS)
    out.append("// Composition list per first code point: index of its first pair in kCompPairs\n"
               "// (0: combines with nothing that follows). Hangul is algorithmic.\n")
    comp_trie.emit(out)
    out.append("// Pairs {second | 0x80000000 on the last pair of a list, composite}.\n")
    out.append(array("kCompPairs", "std::uint32_t", comp_pairs, per_line=8, fmt="0x%08X"))
    sizes["compositions"] = comp_trie.size() + 4 * len(comp_pairs)

    total = sum(sizes.values())
    out.append("\n// Table sizes in bytes: %s; total %d.\n"
               % (", ".join("%s %d" % kv for kv in sizes.items()), total))
    out.append("inline constexpr unsigned kTablesTotalBytes = %d;\n" % total)
    return "".join(out)


# (output path relative to the repository root, generator function)
OUTPUTS = [
    ("src/unicode/tables/normalization_tables.inc", gen_normalization_tables),
    ("src/classes/variation_sequences.inc",
     lambda ucd, command: variation_sequences_table(pathlib.Path(ucd.directory), command)),
    ("src/classes/joining_type.inc",
     lambda ucd, command: joining_type_table(pathlib.Path(ucd.directory), command)),
    ("src/classes/indic_syllabic_category.inc",
     lambda ucd, command: indic_syllabic_category_table(pathlib.Path(ucd.directory), command)),
    ("src/classes/emoji_properties.inc",
     lambda ucd, command: emoji_properties_table(pathlib.Path(ucd.directory), command)),
    ("src/classes/script_enum.inc", lambda ucd, command: script_tables(pathlib.Path(ucd.directory), command)[0]),
    ("src/classes/script_tables.inc", lambda ucd, command: script_tables(pathlib.Path(ucd.directory), command)[1]),
    ("src/classes/confusables.inc", lambda ucd, command: confusables_table(pathlib.Path(ucd.directory), command)),
    ("src/detect/script_baselines.inc",
     lambda ucd, command: script_baselines_table(pathlib.Path(ucd.directory), command)),
]


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--ucd", default=DEFAULT_UCD,
                        help="UCD directory, relative to the repository root unless absolute (default: %(default)s)")
    parser.add_argument("--check", action="store_true",
                        help="regenerate in memory and exit 1 if a committed file differs")
    args = parser.parse_args(argv)

    # The command written into each file: the default UCD folder, however it
    # was spelled, is left out, so that --check agrees with a plain run.
    ucd_dir = os.path.join(REPO_ROOT, args.ucd)
    command = "python3 tools/gen_tables.py"
    if os.path.realpath(ucd_dir) != os.path.realpath(os.path.join(REPO_ROOT, DEFAULT_UCD)):
        command += " --ucd " + args.ucd
    ucd = Ucd(ucd_dir)

    stale = []
    for rel_path, generate in OUTPUTS:
        text = generate(ucd, command)
        path = os.path.join(REPO_ROOT, rel_path)
        if args.check:
            try:
                with open(path, encoding="utf-8", newline="") as f:
                    current = f.read()
            except FileNotFoundError:
                current = None
            if current != text:
                stale.append(rel_path)
                print("differs: %s" % rel_path, file=sys.stderr)
        else:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="utf-8", newline="\n") as f:
                f.write(text)
            m = re.search(r"// Table sizes in bytes: (.*)\n", text)
            print("wrote %s%s" % (rel_path, " (%s)" % m.group(1) if m else ""))
    if stale:
        return 1
    if args.check:
        print("all %d generated files are up to date" % len(OUTPUTS))
    return 0


if __name__ == "__main__":
    sys.exit(main())
