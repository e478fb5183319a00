"""Checks a binary wheel bound for a package index.

auditwheel must find the wheel consistent with a manylinux policy, and its
extension modules must need no shared library but glibc's: the C++ runtime
is linked into them, so that they run on any Linux with a recent enough
glibc. Prints what `auditwheel show` says. Needs auditwheel, which brings
pyelftools.
"""

import argparse
import io
import pathlib
import re
import subprocess
import sys
import zipfile

from elftools.elf.dynamic import DynamicSection
from elftools.elf.elffile import ELFFile

GLIBC_LIBRARIES = {"libc.so.6", "libm.so.6", "libpthread.so.0", "libdl.so.2", "librt.so.1"}


def needed_libraries(elf_bytes):
    elf = ELFFile(io.BytesIO(elf_bytes))
    return {
        tag.needed
        for section in elf.iter_sections()
        if isinstance(section, DynamicSection)
        for tag in section.iter_tags("DT_NEEDED")
    }


def is_glibc_library(name):
    return name in GLIBC_LIBRARIES or name.startswith("ld-linux")


def problems(wheel, auditwheel_report):
    found = []
    # auditwheel wraps its lines wherever they get long.
    report = " ".join(auditwheel_report.split())
    tag = re.search(r'consistent with the following platform tag: "([^"]+)"', report)
    if not tag or not tag.group(1).startswith("manylinux"):
        found.append("auditwheel finds no manylinux policy that the wheel is consistent with")
    platform = pathlib.Path(wheel).stem.split("-")[-1]
    if not platform.startswith("manylinux"):
        found.append(f"the wheel is tagged {platform}, which no package index takes")
    with zipfile.ZipFile(wheel) as archive:
        modules = [name for name in archive.namelist() if re.search(r"\.so(\.|$)", name)]
        if not modules:
            found.append("the wheel holds no extension module")
        for module in modules:
            outside_glibc = sorted(
                name for name in needed_libraries(archive.read(module)) if not is_glibc_library(name)
            )
            if outside_glibc:
                found.append(f"{module} needs {', '.join(outside_glibc)}")
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("wheel")
    wheel = parser.parse_args().wheel
    report = subprocess.run(
        [sys.executable, "-m", "auditwheel", "show", wheel], capture_output=True, text=True, check=True
    ).stdout
    print(report)
    found = problems(wheel, report)
    for problem in found:
        print(f"check_wheel: {problem}", file=sys.stderr)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
