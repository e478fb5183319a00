"""sanitize runs without the interpreter lock and is safe to call from several threads."""

import sys
import threading
import time

from orlenta import sanitize

LARGE_TEXT = ("Unicode text with accents é, ü and a zero\u200bwidth space. " * 40_000)[:2_000_000]


def test_other_threads_run_during_sanitize():
    # With a huge switch interval the main thread is never preempted, so the
    # counting thread can only advance while sanitize has released the lock.
    iterations = 0
    stop = threading.Event()

    def count():
        nonlocal iterations
        while not stop.is_set():
            iterations += 1
            time.sleep(0.0001)

    previous_interval = sys.getswitchinterval()
    sys.setswitchinterval(1000)
    counter = threading.Thread(target=count)
    counter.start()
    try:
        for _ in range(20):
            before = iterations
            sanitize(LARGE_TEXT)
            if iterations > before:
                break
        else:
            raise AssertionError("no other thread ran while sanitize was working")
    finally:
        stop.set()
        counter.join()
        sys.setswitchinterval(previous_interval)


def test_concurrent_first_calls_agree(run_python):
    # The first calls of a process build the policy registry and cache
    # json.loads; several threads doing so at once must all succeed alike.
    child = run_python(
        """
        import threading
        from orlenta import sanitize

        text = "a\\u200bb\\u202ec  d " * 5000
        start = threading.Barrier(8)
        results = []

        def call():
            start.wait()
            results.append(sanitize(text, "strict", return_spans=True))

        threads = [threading.Thread(target=call) for _ in range(8)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        assert len(results) == 8
        assert all(result == results[0] for result in results)
        assert results[0] == sanitize(text, "strict", return_spans=True)
        print("agree")
        """
    )
    assert child.returncode == 0, child.stderr
    assert child.stdout.strip() == "agree"
