"""What orlenta.analyze finds in a file, as findings of ``orlenta check
--signals``, with their positions and evidence in words."""

from __future__ import annotations

from orlenta import _native
from orlenta.cli.findings import Finding
from orlenta.cli.positions import positions
from orlenta.cli.visible import code_point_name


def detector_findings(text: str) -> list[Finding]:
    """One finding per detection, at its first code point, with the
    position after its last. The native call is made directly: orlenta.analyze
    would import typing and dataclasses for its records."""
    detected = _native._analyze(text)
    if not detected:
        return []
    where = positions(text, [offset for _, start, end, _ in detected for offset in (start, end)])
    return [
        Finding(
            kind,
            "signal",
            *where[start],
            end_line=where[end].line,
            end_column=where[end].column,
            end_byte_offset=where[end].byte_offset,
            detail=evidence_text(kind, evidence),
        )
        for kind, start, end, evidence in detected
    ]


def evidence_text(kind: str, evidence: dict[str, int | float | str]) -> str:
    """The evidence in words: "base64, 33 bytes decoded", "3 marks on one
    letter, Latn allows 2". Evidence of a shape not known here is listed as
    it is rather than lost."""
    try:
        return describe(kind, evidence)
    except (KeyError, TypeError, ValueError):
        return ", ".join(f"{key} {value}" for key, value in evidence.items())


def describe(kind: str, evidence: dict[str, int | float | str]) -> str:
    if kind == "encoded_payload":
        wrapped = ", wrapped over lines" if evidence.get("wrapped") else ""
        return f"{evidence['encoding']}{wrapped}, {evidence['decoded_bytes']} bytes decoded"
    if kind == "unusual_entropy":
        return (f"{float(evidence['entropy']):.1f} bits a character, where {evidence['script']} prose "
                f"reaches {float(evidence['baseline']):.1f}")
    if kind in ("zalgo", "combining_abuse"):
        return f"{evidence['marks']} marks on one letter, {evidence['script']} allows {evidence['limit']}"
    if kind == "zero_width_run":
        return f"{evidence['length']} zero-width code points of {evidence['alphabet']}"
    if kind == "joiner_out_of_context":
        code_point = str(evidence["code_point"])
        return f"{code_point} {code_point_name(int(code_point.removeprefix('U+'), 16))}"
    if kind == "mixed_script":
        return f"scripts {evidence['scripts']}"
    if kind == "confusable":
        return f"scripts {evidence['scripts']}, looks like {str(evidence['looks_like'])!r}"
    raise KeyError(kind)
