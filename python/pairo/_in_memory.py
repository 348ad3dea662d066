"""Conversion of many logs in memory: plain or compressed files, JSON logs or
XML records, on the native engine's threads, results in input order.

The engine reads, inflates and converts with the interpreter lock released,
so its threads convert at once; only the result lists are built here, with
the lock. A log that fails is handed back as its exception, in its place,
and the batch goes on.

A log that fails to convert raises the module's exception with its fixed
message, and a note that tells why (the detail of `pairo.diagnose`).
"""

from __future__ import annotations

import os
from collections.abc import Iterable, Iterator
from itertools import islice
from typing import TypeVar, cast

from . import _native

__all__ = ["convert_path", "convert_many"]

StrPath = str | os.PathLike[str]
P = TypeVar("P", bound=StrPath)

# Logs handed to the engine at once, per thread: enough to keep every thread
# busy past the slowest log of a chunk, few enough that a chunk's results
# stay small for any number of logs.
CHUNK_PER_JOB = 32


def convert_path(path: StrPath) -> list[str]:
    """Converts the log in the file `path` into its event texts.

    The file may be a tenhou.net/6 JSON log or a Tenhou XML record, either
    gzip- or bzip2-compressed (told by content, not by name): XML when its
    first non-blank character is "<". Compressed data that inflates past
    64 MiB fails as `OSError`, as does corrupt data ("invalid gzip data");
    the text must be UTF-8. Raises what the conversion raises, and `OSError` (or a
    subclass) when the file cannot be read.
    """
    result = _native.convert_many([path], 1, "mjai")[0]
    if isinstance(result, BaseException):
        raise result
    assert isinstance(result, list)
    return result


def convert_many(paths: Iterable[P], jobs: int | None = None) -> Iterator[tuple[P, list[str] | BaseException]]:
    """Converts every log in `paths`, yielding `(path, events)` in the order
    of `paths`, or `(path, exception)` for a log that failed.

    `jobs` threads convert at once (default: one per processor). `paths` is
    read lazily, a chunk at a time, so it may be a generator over any number
    of logs.
    """
    threads = resolve_jobs(jobs)
    pending = iter(paths)
    while chunk := list(islice(pending, CHUNK_PER_JOB * threads)):
        for path, result in zip(chunk, _native.convert_many(chunk, threads, "mjai"), strict=True):
            yield path, cast("list[str] | BaseException", result)  # mjai results are event lists


def resolve_jobs(jobs: int | None) -> int:
    if jobs is None:
        return os.cpu_count() or 1
    if jobs < 1:
        raise ValueError(f"jobs must be at least 1, not {jobs}")
    return jobs
