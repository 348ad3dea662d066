"""Converting one log into its output file, which appears complete or not
at all: the events are written to a temporary file beside the target,
which is renamed into place only once everything is written."""

from __future__ import annotations

import gzip
import os
import secrets
from contextlib import suppress
from dataclasses import dataclass
from pathlib import Path

from ._inputs import Log
from .batch import convert_bytes, convert_path

# Fixed header time, so that the same events always give the same bytes.
GZIP_MTIME = 0
GZIP_LEVEL = 6


@dataclass(frozen=True, slots=True)
class Task:
    """One log and where its events go. `data` holds standard input's bytes
    (read by the parent, since workers do not share its standard input)."""

    log: Log
    target: Path
    compress: bool
    data: bytes | None = None


def convert_log(log: Log, data: bytes | None) -> list[str]:
    if log.error is not None:
        raise log.error
    if log.path is None:
        return convert_bytes(data or b"")
    return convert_path(log.path)


def encode_lines(events: list[str]) -> bytes:
    """The output lines: each event followed by a line feed.

    Only the first event, start_game with the players' names, can hold text
    beyond ASCII. The others are joined apart from it, so that their text
    stays in the one-byte form and encodes as a plain copy."""
    if not events:
        return b""
    rest = "\n".join(events[1:]).encode("utf-8")
    return b"".join([events[0].encode("utf-8"), b"\n", rest, b"\n" if len(events) > 1 else b""])


def convert_to_file(task: Task) -> None:
    data = encode_lines(convert_log(task.log, task.data))
    if task.compress:
        data = gzip.compress(data, compresslevel=GZIP_LEVEL, mtime=GZIP_MTIME)
    write_atomically(task.target, data)


def write_atomically(target: Path, data: bytes) -> None:
    """Writes `data` to `target` through a temporary file in the same folder;
    on any failure, interruptions included, the temporary file is removed and
    an existing `target` is left as it was."""
    _make_folder(target.parent)
    try:
        fd, temp = _create_temp(target)
    except FileNotFoundError:  # the folder went away after it was made
        _folders.discard(target.parent)
        _make_folder(target.parent)
        fd, temp = _create_temp(target)
    try:
        try:
            _write_all(fd, data)
        finally:
            os.close(fd)
        os.replace(temp, target)
    except BaseException:
        with suppress(OSError):
            os.unlink(temp)
        raise


# The folders this process has made or found: logs of one folder share one,
# so each is looked for once.
_folders: set[Path] = set()


def _make_folder(folder: Path) -> None:
    if folder not in _folders:
        folder.mkdir(parents=True, exist_ok=True)
        _folders.add(folder)


def _create_temp(target: Path) -> tuple[int, Path]:
    flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC
    while True:
        temp = target.with_name(f".{target.name}.{secrets.token_hex(6)}.tmp")
        try:
            return os.open(temp, flags, 0o666), temp
        except FileExistsError:
            continue  # another writer drew the same name: draw again


def _write_all(fd: int, data: bytes) -> None:
    view = memoryview(data)
    while view:
        view = view[os.write(fd, view) :]
