"""Peak memory of one call, measured in a fresh child process (Linux).

The child builds its input, hands the memory that building it freed back to
the system (else the call would reuse it unseen), resets the kernel's
high-water mark of its resident set (writing 5 to /proc/self/clear_refs) so
that what building the input briefly took does not hide the call's own peak,
makes the call and reads the high-water mark (VmHWM) again. ru_maxrss cannot
be reset, which is why it is not used.
"""

import ctypes
import gc
import json
import pathlib
import subprocess
import sys
import time
from dataclasses import dataclass
from typing import Callable

_BENCH_DIR = pathlib.Path(__file__).resolve().parent


@dataclass(frozen=True)
class ChildPeak:
    resident_before: int  # bytes resident just before the call, the input included
    peak: int  # highest resident bytes during the call
    seconds: float
    outcome: str  # "returned" or the ValueError the call raised
    returned_text: int  # bytes of the new str returned (alone or first in a tuple), 0 if none

    @property
    def beyond_before(self) -> int:
        return self.peak - self.resident_before


def measure_in_child(setup: str, expression: str) -> ChildPeak:
    """Runs `setup` (Python statements, bench/ importable) in a new interpreter,
    then measures the evaluation of `expression`."""
    code = "\n".join(
        [
            "import sys",
            f"sys.path.insert(0, {str(_BENCH_DIR)!r})",
            "import peak_memory",
            setup,
            f"peak_memory.report_call(lambda: {expression})",
        ]
    )
    child = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=False)
    if child.returncode != 0:
        raise RuntimeError(f"memory child failed:\n{child.stderr}")
    return ChildPeak(**json.loads(child.stdout.splitlines()[-1]))


def _status_bytes(key: str) -> int:
    with open("/proc/self/status", encoding="ascii") as status:
        for line in status:
            if line.startswith(key + ":"):
                return int(line.split()[1]) * 1024
    raise RuntimeError(f"no {key} in /proc/self/status")


def report_call(call: Callable[[], object]) -> None:
    """Child side: one measured call, its figures printed as JSON."""
    gc.collect()
    ctypes.CDLL("libc.so.6").malloc_trim(0)
    with open("/proc/self/clear_refs", "w", encoding="ascii") as clear_refs:
        clear_refs.write("5")
    before = _status_bytes("VmRSS")
    start = time.perf_counter()
    returned_text = 0
    try:
        result = call()
        outcome = "returned"
    except ValueError as error:
        outcome = f"ValueError: {error}"
    elapsed = time.perf_counter() - start
    if outcome == "returned":
        text = result[0] if isinstance(result, tuple) else result
        # A str that was already resident (the argument handed back) is no new memory.
        is_new = isinstance(text, str) and not any(text is value for value in vars(sys.modules["__main__"]).values())
        returned_text = sys.getsizeof(text) if is_new else 0
    figures = {
        "resident_before": before,
        "peak": _status_bytes("VmHWM"),
        "seconds": elapsed,
        "outcome": outcome,
        "returned_text": returned_text,
    }
    print(json.dumps(figures))
