"""Converting many times leaves nothing behind: neither memory (Python's
allocations as tracemalloc sees them, the resident size of the process),
nor references to the module's objects, nor open descriptors, on success
and on every failure path of both entry points and of the XML records'.

Each check runs the same batch of calls several times and compares a late
batch with an early one, so that what the first calls set up once (caches,
arena growth, the exception classes) does not count."""

from __future__ import annotations

import gc
import gzip
import json
import os
import sys
import tracemalloc
from pathlib import Path

import pytest
from conftest import corpus_files

import _pairo
import pairo

MODULE_ERRORS = (
    _pairo.JsonParsingError,
    _pairo.TenhouLogParsingError,
    _pairo.TenhouToMjaiError,
    _pairo.JsonSerializationError,
)


class Workload:
    """One batch: every way a call can end, each several times."""

    def __init__(self, tmp: Path):
        real = corpus_files("real")
        self.good = [p.read_text(encoding="utf-8") for p in real]
        self.broken = [p.read_text(encoding="utf-8") for p in corpus_files("real-broken")]
        self.three_player = [p.read_text(encoding="utf-8") for p in corpus_files("real3p")]
        doc = json.loads(self.good[0])
        doc["rule"]["disp"] = "三南喰赤"
        self.invalid = json.dumps(doc, ensure_ascii=False)
        self.garbage = ['{"log": [', "", "[]", self.good[0][: len(self.good[0]) // 2]]
        self.good_file, self.broken_file = real[0], corpus_files("real-broken")[0]
        self.bad_utf8 = tmp / "bad-utf8.json"
        self.bad_utf8.write_bytes(b'{"name": ["\xff"]}')
        self.out = tmp / "out.jsonl"
        self.missing = tmp / "missing.json"
        self.no_dir_out = tmp / "no-such-dir" / "out.jsonl"
        xml = corpus_files("xml", "*.xml")[0].read_bytes()
        self.records = [xml, xml.decode(), gzip.compress(xml)]
        self.bad_records = [xml[:-20], xml.replace(b"<INIT", b"<T0/><INIT", 1), gzip.compress(xml)[:-9],
                            xml.replace(b'<GO type="169"', b'<GO type="185"', 1)]  # 0x10: three players
        self.outcomes: dict[str, int] = {}

    def _count(self, name: str) -> None:
        self.outcomes[name] = self.outcomes.get(name, 0) + 1

    def _call(self, function, *args) -> None:
        try:
            function(*args)
        except MODULE_ERRORS as error:
            self._count(type(error).__name__)
        except OSError as error:
            self._count(type(error).__name__)
        except TypeError:
            self._count("TypeError")
        else:
            self._count("ok")

    def run(self) -> None:
        text = _pairo.tenhou_to_mjai
        for log in self.good:
            self._call(text, log)
        for log in self.broken * 3:
            self._call(text, log)  # TenhouToMjaiError
        for log in self.three_player * 3 + self.garbage * 3:
            self._call(text, log)  # JsonParsingError
        for _ in range(10):
            self._call(text, self.invalid)  # TenhouLogParsingError
            self._call(text, b"{}")  # TypeError
        file = _pairo.tenhou_file_to_mjai
        for _ in range(5):
            self._call(file, self.good_file)
            self._call(file, self.good_file, self.out)
            self._call(file, self.broken_file, self.out)  # no output file, TenhouToMjaiError
            self._call(file, self.bad_utf8)
            self._call(file, self.missing)  # FileNotFoundError
            self._call(file, self.good_file, self.no_dir_out)  # OSError on create
            self._call(file, self.good_file.parent)  # a directory
            if os.path.exists("/dev/full"):
                self._call(file, self.good_file, "/dev/full")  # OSError on write
        for record in self.records * 2:
            self._call(pairo.mjlog_to_mjai, record)
            self._call(pairo.mjlog_to_tenhou6, record, "2019021004gm-00a9-0000-e2f6516d")
        for record in self.bad_records * 3:
            self._call(pairo.mjlog_to_mjai, record)  # MjlogParsingError, TenhouLogParsingError
            self._call(pairo.mjlog_to_tenhou6, record)
        self._call(pairo.mjlog_to_mjai, 1)  # TypeError
        gc.collect()


@pytest.fixture(scope="module")
def workload(tmp_path_factory) -> Workload:
    return Workload(tmp_path_factory.mktemp("leaks"))


def test_the_workload_reaches_every_ending(workload):
    workload.outcomes.clear()
    workload.run()
    expected = {"ok", "JsonParsingError", "TenhouLogParsingError", "TenhouToMjaiError",
                "FileNotFoundError", "OSError", "TypeError", "MjlogParsingError"}
    assert expected <= workload.outcomes.keys(), workload.outcomes


def test_python_allocations_stay_flat(workload):
    workload.run()
    tracemalloc.start()
    try:
        sizes = []
        for _ in range(5):
            workload.run()
            sizes.append(tracemalloc.get_traced_memory()[0])
    finally:
        tracemalloc.stop()
    # A batch makes about 150 result lists of up to a thousand texts: one
    # left alive per call would add megabytes per batch; without a leak the
    # growth is a few dozen bytes.
    growth = sizes[-1] - sizes[1]
    assert growth < 16 * 1024, f"traced memory grew by {growth} bytes over 3 batches: {sizes}"


def resident_bytes() -> int:
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="needs /proc")
@pytest.mark.skipif(
    os.environ.get("PAIRO_SANITIZED") == "1",
    reason="AddressSanitizer keeps freed memory in quarantine, so the resident size grows by design",
)
def test_resident_size_stays_flat(workload):
    # Warm-up batches let the allocators reach their working size.
    for _ in range(3):
        workload.run()
    before = resident_bytes()
    for _ in range(8):
        workload.run()
    growth = resident_bytes() - before
    # The C++ side allocates the decoded log, the events and their texts per
    # call (hundreds of kilobytes for a whole game); leaking any of them on
    # one path would add megabytes over 8 batches. Without a leak the
    # growth is a page or two.
    assert growth < 1024 * 1024, f"resident size grew by {growth} bytes over 8 batches"


def module_objects() -> dict[str, object]:
    names = ["TenhouLogParsingError", "TenhouToMjaiError", "JsonSerializationError",
             "JsonParsingError", "tenhou_file_to_mjai", "tenhou_to_mjai", "__version__", "VERSION"]
    objects = {name: getattr(_pairo, name) for name in names}
    objects["module"] = _pairo
    # A draw's text is one of the strs the module keeps and lists in every
    # result that holds it.
    objects["a common event text"] = COMMON_TEXT
    return objects


COMMON_TEXT = next(t for t in _pairo.tenhou_file_to_mjai(str(Path(__file__).parents[1] / "examples" / "sample.json"))
                   if t.startswith('{"type":"tsumo","actor":0,'))


def reference_counts() -> dict[str, int]:
    gc.collect()
    # getrefcount of a value fetched from a dict: the dict's own reference
    # and the argument's are the same in every call.
    return {name: sys.getrefcount(value) for name, value in module_objects().items()}


def test_reference_counts_of_module_objects_stay_flat(workload):
    workload.run()
    before = reference_counts()
    for _ in range(3):
        workload.run()
    assert reference_counts() == before


@pytest.mark.skipif(not os.path.isdir("/proc/self/fd"), reason="needs /proc")
def test_open_descriptors_stay_flat(workload):
    workload.run()
    before = sorted(os.listdir("/proc/self/fd"))
    for _ in range(3):
        workload.run()
    assert sorted(os.listdir("/proc/self/fd")) == before
