"""Several Python threads converting at once get exactly what one thread gets
converting the same logs (and XML game records) in turn: the same event
texts, and the same error class and message for logs that fail."""

from __future__ import annotations

import gzip
import random
import sys
import threading
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import pytest
from conftest import corpus_files

import _pairo
import pairo

THREADS = 6


def outcome(function, *args):
    try:
        return ("ok", function(*args))
    except (ValueError, OSError) as error:  # the module's classes derive from ValueError
        return (type(error).__name__, error.args)


@pytest.fixture(scope="module")
def logs() -> list[Path]:
    return (corpus_files("real") + corpus_files("real-rounds") + corpus_files("real-broken")
            + corpus_files("real3p") + corpus_files("sim")[:30])


@pytest.fixture
def short_switch_interval():
    """Threads hand over the interpreter often, so that calls interleave."""
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    yield
    sys.setswitchinterval(interval)


def run_in_threads(work, count: int) -> list:
    barrier = threading.Barrier(count)

    def start(index):
        barrier.wait()
        return work(index)

    with ThreadPoolExecutor(max_workers=count) as pool:
        return list(pool.map(start, range(count)))


def test_text_entry_from_threads_matches_sequential(logs, short_switch_interval):
    texts = [path.read_text(encoding="utf-8") for path in logs]
    expected = [outcome(_pairo.tenhou_to_mjai, text) for text in texts]
    kinds = {kind for kind, _ in expected}
    assert {"ok", "TenhouToMjaiError", "JsonParsingError"} <= kinds

    def work(index):
        # Each thread walks the logs in its own order.
        order = list(range(len(texts)))
        random.Random(index).shuffle(order)
        got = [None] * len(texts)
        for i in order:
            got[i] = outcome(_pairo.tenhou_to_mjai, texts[i])
        return got

    for index, got in enumerate(run_in_threads(work, THREADS)):
        mismatched = [logs[i].name for i, (a, b) in enumerate(zip(got, expected)) if a != b]
        assert not mismatched, f"thread {index}: {mismatched}"


def test_file_entry_from_threads_matches_sequential(logs, tmp_path, short_switch_interval):
    chosen = logs[::4]
    expected = [outcome(_pairo.tenhou_file_to_mjai, path) for path in chosen]

    def work(index):
        got = []
        for n, path in enumerate(chosen):
            out = tmp_path / f"t{index}-{n}.jsonl"
            result = outcome(_pairo.tenhou_file_to_mjai, path, out)
            written = out.read_text(encoding="utf-8") if out.exists() else None
            got.append((result, written))
        return got

    for index, got in enumerate(run_in_threads(work, THREADS)):
        for path, (result, written), want in zip(chosen, got, expected):
            assert result == want, f"thread {index}: {path.name}"
            if want[0] == "ok":
                assert written == "".join(line + "\n" for line in want[1]), f"thread {index}: {path.name}"
            else:
                assert written is None, f"thread {index}: {path.name} left an output file"


def test_xml_records_from_threads_match_sequential(short_switch_interval):
    # These calls release the interpreter lock while they work: threads run them truly at once.
    records = [path.read_bytes() for path in corpus_files("xml", "*.xml")]
    inputs = records + [gzip.compress(r) for r in records[:5]] + [r[: len(r) // 3] for r in records[:5]]
    calls = [(f, data) for data in inputs for f in (pairo.mjlog_to_mjai, pairo.mjlog_to_tenhou6)]
    expected = [outcome(f, data) for f, data in calls]
    assert {"ok", "MjlogParsingError"} == {kind for kind, _ in expected}

    def work(index):
        order = list(range(len(calls)))
        random.Random(index).shuffle(order)
        got = [None] * len(calls)
        for i in order:
            got[i] = outcome(*calls[i])
        return got

    for index, got in enumerate(run_in_threads(work, THREADS)):
        assert got == expected, f"thread {index}"
