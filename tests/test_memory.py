"""Running out of memory inside sanitize raises MemoryError instead of aborting."""

import sys

import pytest

pytestmark = pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads /proc/self/statm")


def test_allocation_failure_raises_memory_error(run_python):
    # The address-space limit leaves room for the input but not for the
    # pipeline's buffers, each about as large as the input.
    child = run_python(
        """
        import resource
        from orlenta import sanitize

        sanitize("warm up")
        size = 64 * 1024 * 1024
        text = "a" * size
        pages = int(open("/proc/self/statm").read().split()[0])
        in_use = pages * resource.getpagesize()
        _, hard = resource.getrlimit(resource.RLIMIT_AS)
        resource.setrlimit(resource.RLIMIT_AS, (in_use + size // 4, hard))
        try:
            sanitize(text)
        except MemoryError:
            print("MemoryError")
        print(sanitize("still works")[0])
        """
    )
    assert child.returncode == 0, child.stderr
    assert child.stdout.splitlines() == ["MemoryError", "still works"]
