"""Wall-clock time of several sanitize calls run at once, in threads or in
processes, each on its own copies of a text."""

import multiprocessing
import multiprocessing.connection
import multiprocessing.synchronize
import threading
import time

import orlenta
from timing import fresh_copy, seconds


def _sanitize_all(copies: list[str]) -> None:
    for copy in copies:
        orlenta.sanitize(copy)


def in_threads(text: str, count: int, calls: int = 1) -> float:
    """`count` threads, each making `calls` calls on copies of its own."""
    copies = [[fresh_copy(text) for _ in range(calls)] for _ in range(count)]
    threads = [threading.Thread(target=_sanitize_all, args=(own,)) for own in copies]

    def run() -> None:
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()

    return seconds(run)


def _timed_calls(text: str, calls: int, ready: multiprocessing.synchronize.Barrier) -> tuple[float, float]:
    """When `calls` calls on fresh copies started and ended, once every
    process is ready."""
    copies = [fresh_copy(text) for _ in range(calls)]
    ready.wait()
    start = time.perf_counter()
    _sanitize_all(copies)
    return start, time.perf_counter()


def _first_start_to_last_end(measured: list[tuple[float, float]]) -> float:
    return max(end for _, end in measured) - min(start for start, _ in measured)


def _timed_sanitize(
    text: str, calls: int, ready: multiprocessing.synchronize.Barrier, spans: multiprocessing.Queue
) -> None:
    spans.put(_timed_calls(text, calls, ready))


def in_processes(text: str, count: int, calls: int = 1) -> float:
    """From the first start to the last end. The processes are forked with
    the text in hand and start together, so neither start-up nor exit counts;
    perf_counter is the system-wide monotonic clock, comparable between them.
    A forked process inherits the parent's heap as it is, so it starts in
    the state the parent's work has left it in."""
    context = multiprocessing.get_context("fork")
    ready = context.Barrier(count)
    spans = context.Queue()
    workers = [context.Process(target=_timed_sanitize, args=(text, calls, ready, spans)) for _ in range(count)]
    for worker in workers:
        worker.start()
    measured = [spans.get() for _ in workers]
    for worker in workers:
        worker.join()
    return _first_start_to_last_end(measured)


def _serve_runs(
    text: str, calls: int, ready: multiprocessing.synchronize.Barrier, orders: multiprocessing.connection.Connection
) -> None:
    while orders.recv():
        orders.send(_timed_calls(text, calls, ready))


class LastingProcesses:
    """`count` processes forked once, each making `calls` calls on copies of
    its own whenever run() is called, as long-running servers would.

    A fork leaves every page of both processes copy-on-write: a process
    forked for each run pays a fault for every page it writes, and so does
    its parent's next run, in whichever threads it makes. Forked once, with
    a first run left untimed on both sides, neither side pays them where
    it is timed."""

    def __init__(self, text: str, count: int, calls: int) -> None:
        context = multiprocessing.get_context("fork")
        ready = context.Barrier(count)
        self._orders = []
        self._workers = []
        for _ in range(count):
            ours, theirs = context.Pipe()
            worker = context.Process(target=_serve_runs, args=(text, calls, ready, theirs), daemon=True)
            worker.start()
            self._orders.append(ours)
            self._workers.append(worker)

    def run(self) -> float:
        """From the first start to the last end, as in_processes measures."""
        for orders in self._orders:
            orders.send(True)
        return _first_start_to_last_end([orders.recv() for orders in self._orders])

    def close(self) -> None:
        for orders in self._orders:
            orders.send(False)
        for worker in self._workers:
            worker.join()

    def __enter__(self) -> "LastingProcesses":
        return self

    def __exit__(self, *_: object) -> None:
        self.close()
