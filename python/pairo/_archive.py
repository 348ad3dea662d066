"""The records of one container (a downloader's SQLite database, or a zip or
tar bundle) converted in memory, in the container's order.

The native engine reads the container and converts its records on its
threads with the interpreter lock released; this side takes one result at a
time. The engine works a bounded window ahead of the loop, so memory stays
small whatever the container holds, and leaving the loop early cancels the
work and closes the container.
"""

from __future__ import annotations

import datetime
import os
from collections.abc import Iterable, Iterator
from typing import Literal, overload

from . import _native
from ._in_memory import resolve_jobs
from ._selection import Length, native_filters

__all__ = ["convert_archive"]

StrPath = str | os.PathLike[str]


@overload
def convert_archive(
    path: StrPath,
    *,
    jobs: int | None = None,
    to: Literal["mjai"] = "mjai",
    length: Length | None = None,
    lobby: str | Iterable[str] | None = None,
    public: bool = False,
    rules: str | Iterable[str] | None = None,
    since: str | datetime.date | None = None,
    until: str | datetime.date | None = None,
    skip_disconnected: bool = False,
    view: int | None = None,
) -> Iterator[tuple[str, list[str] | BaseException]]: ...
@overload
def convert_archive(
    path: StrPath,
    *,
    jobs: int | None = None,
    to: Literal["tenhou6"],
    length: Length | None = None,
    lobby: str | Iterable[str] | None = None,
    public: bool = False,
    rules: str | Iterable[str] | None = None,
    since: str | datetime.date | None = None,
    until: str | datetime.date | None = None,
    skip_disconnected: bool = False,
) -> Iterator[tuple[str, str | BaseException]]: ...
def convert_archive(
    path: StrPath,
    *,
    jobs: int | None = None,
    to: Literal["mjai", "tenhou6"] = "mjai",
    length: Length | None = None,
    lobby: str | Iterable[str] | None = None,
    public: bool = False,
    rules: str | Iterable[str] | None = None,
    since: str | datetime.date | None = None,
    until: str | datetime.date | None = None,
    skip_disconnected: bool = False,
    view: int | None = None,
) -> Iterator[tuple[str, list[str] | str | BaseException]]:
    """Iterates over the records of the container `path` in its order.

    Yields `(name, events)` for each record converted (the list of mjai
    event texts, or the tenhou.net/6 JSON text for `to="tenhou6"`) and
    `(name, exception)` for each that failed; records skipped (download
    failed, not downloaded, three-player, duplicate of an earlier row) are
    not yielded, nor are the games the filters leave out (as
    `convert_files` takes them: `length`, `lobby`, `public`, `rules`,
    `since`, `until`, `skip_disconnected`). `view` (a seat, 0 to 3) gives
    each game as that seat receives it. `name` is a database row's game
    id, or a bundle member's path. Records are converted on `jobs` threads (default: one per
    processor). Raises `ArchiveError` here when `path` is no container;
    closing the iterator (leaving a `for` loop early) cancels the work.
    """
    filters = native_filters(
        length=length,
        lobby=lobby,
        public=public,
        rules=rules,
        since=since,
        until=until,
        skip_disconnected=skip_disconnected,
    )
    if view is not None and to != "mjai":
        raise ValueError("a seat's view is of mjai events: view needs to='mjai'")
    records = _native.open_archive(path, resolve_jobs(jobs), to, filters, view)
    return _taken(records)


def _taken(records: _native.ArchiveRecords) -> Iterator[tuple[str, list[str] | str | BaseException]]:
    try:
        yield from records
    finally:
        records.close()
