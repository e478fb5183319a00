"""Replacing a file so that an interruption leaves the old or the new one."""

from __future__ import annotations

import os
import stat


def write_atomically(path: str, data: bytes) -> None:
    """Writes `data` to a temporary file in the target's folder, flushes and
    syncs it, gives it the target's mode bits, and renames it over the
    target; the rename is atomic, so readers and a crash see either the whole
    old file or the whole new one. A symbolic link is followed: the file it
    points to is replaced, and the link stays."""
    # Imported here: fix is the one command that writes files, and start-up
    # time counts in a hook.
    import tempfile

    target = os.path.realpath(path)
    mode = stat.S_IMODE(os.stat(target).st_mode)
    folder = os.path.dirname(target)
    descriptor, temporary = tempfile.mkstemp(dir=folder, prefix=f".{os.path.basename(target)}.", suffix=".orlenta")
    try:
        with os.fdopen(descriptor, "wb") as file:
            file.write(data)
            file.flush()
            os.fsync(file.fileno())
        os.chmod(temporary, mode)
        os.replace(temporary, target)
    except BaseException:
        try:
            os.unlink(temporary)
        except FileNotFoundError:
            pass
        raise
    sync_folder(folder)


def sync_folder(folder: str) -> None:
    """Makes the rename itself durable; a system that cannot sync a folder
    still has the file whole."""
    try:
        descriptor = os.open(folder, os.O_RDONLY)
    except OSError:
        return
    try:
        os.fsync(descriptor)
    except OSError:
        pass
    finally:
        os.close(descriptor)
