"""Which files a command reads, and reading one."""

from __future__ import annotations

import os
import stat
import sys
from collections.abc import Callable, Iterator
from orlenta.cli.records import NamedTuple

from orlenta import _native

STDIN = "-"
# A file with a NUL byte among its first bytes is binary and skipped.
BINARY_PROBE_BYTES = 8192


class PathError(NamedTuple):
    path: str
    message: str


def expand_paths(arguments: list[str], excluded: Callable[[str], bool]) -> Iterator[str | PathError]:
    """The files the arguments name, in order. A folder inside a git work
    tree gives the files git tracks, elsewhere every regular file below it
    but those under .git; symbolic links inside a folder are not followed.
    An excluded path is left out, also when it is named directly, so that a
    hook passing each file keeps to the configuration."""
    for argument in arguments:
        if argument == STDIN:
            yield argument
        elif os.path.isdir(argument):
            for path in files_in_folder(argument):
                if isinstance(path, PathError) or not excluded(path):
                    yield path
        elif os.path.exists(argument) or os.path.islink(argument):
            if not excluded(argument):
                yield argument
        else:
            yield PathError(argument, "no such file or directory")


def files_in_folder(folder: str) -> list[str | PathError]:
    tracked = git_tracked_files(folder)
    if tracked is None:
        return walked_files(os.path.normpath(folder))
    return [path for path in tracked if is_regular_file(path)]


def git_tracked_files(folder: str) -> list[str] | None:
    """The files git tracks under the folder, or None outside a work tree."""
    # Imported here: a hook passes files, and start-up time counts there.
    import subprocess

    try:
        listed = subprocess.run(
            ["git", "-C", folder, "ls-files", "-z", "--cached"],
            capture_output=True,
            check=False,
        )
    except OSError:
        return None
    if listed.returncode != 0:
        return None
    names = listed.stdout.decode(sys.getfilesystemencoding(), "surrogateescape").split("\0")
    # A file with a merge conflict is listed once per stage.
    return [os.path.normpath(os.path.join(folder, name)) for name in dict.fromkeys(names) if name]


def walked_files(folder: str) -> list[str | PathError]:
    """Every regular file below the folder, in name order, but under .git;
    symbolic links are not followed. The paths are as normal as the
    folder's. A folder that cannot be listed is a PathError in its place."""
    return [
        PathError(os.fsdecode(found[0]), found[1]) if isinstance(found, tuple) else os.fsdecode(found)
        for found in _native._walk_folder(os.fsencode(folder))
    ]


def is_regular_file(path: str) -> bool:
    # A tracked file deleted from the work tree, a submodule or a symbolic
    # link is no file to read.
    try:
        return stat.S_ISREG(os.lstat(path).st_mode)
    except OSError:
        return False


def read_file(path: str) -> bytes | None:
    """The file's bytes, or None when it is binary. Raises OSError."""
    if path == STDIN:
        data = sys.stdin.buffer.read()
        return None if data.find(b"\0", 0, BINARY_PROBE_BYTES) >= 0 else data
    # Unbuffered reads: most files take one call for the probe, which holds
    # all of them, and a larger one takes one more for the rest at its size.
    descriptor = os.open(path, os.O_RDONLY | getattr(os, "O_BINARY", 0))
    try:
        head = os.read(descriptor, BINARY_PROBE_BYTES)
        if b"\0" in head:
            return None
        if len(head) < BINARY_PROBE_BYTES:
            return head
        parts = [head]
        part = os.read(descriptor, max(os.fstat(descriptor).st_size - len(head), 0) + 1)
        # A file that grew meanwhile is read to its end.
        while part:
            parts.append(part)
            part = os.read(descriptor, 1 << 20)
        return b"".join(parts)
    finally:
        os.close(descriptor)


def display_name(path: str) -> str:
    return "<stdin>" if path == STDIN else path


def error_message(error: OSError) -> str:
    return error.strerror or str(error)
