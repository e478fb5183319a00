"""Wall-clock time of several sanitize calls run at once, in threads or in
processes, each on its own copy of a text."""

import multiprocessing
import threading
import time

import orlenta
from timing import fresh_copy, seconds


def in_threads(text: str, count: int) -> float:
    copies = [fresh_copy(text) for _ in range(count)]
    threads = [threading.Thread(target=orlenta.sanitize, args=(copy,)) for copy in copies]

    def run() -> None:
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()

    return seconds(run)


def _timed_sanitize(text: str, ready: multiprocessing.Barrier, spans: multiprocessing.Queue) -> None:
    copy = fresh_copy(text)
    ready.wait()
    start = time.perf_counter()
    orlenta.sanitize(copy)
    spans.put((start, time.perf_counter()))


def in_processes(text: str, count: int) -> float:
    """From the first start to the last end. The processes are forked with
    the text in hand and start together, so neither start-up nor exit counts;
    perf_counter is the system-wide monotonic clock, comparable between them."""
    context = multiprocessing.get_context("fork")
    ready = context.Barrier(count)
    spans = context.Queue()
    workers = [context.Process(target=_timed_sanitize, args=(text, ready, spans)) for _ in range(count)]
    for worker in workers:
        worker.start()
    measured = [spans.get() for _ in workers]
    for worker in workers:
        worker.join()
    return max(end for _, end in measured) - min(start for start, _ in measured)
