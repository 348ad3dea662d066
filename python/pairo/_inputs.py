"""The logs named on the command line: files, folders searched for logs,
and standard input, each with its place under the output folder."""

from __future__ import annotations

import os
from dataclasses import dataclass
from pathlib import Path, PurePath

STDIN = "-"
LOG_SUFFIXES = (".json", ".json.gz")
# Suffixes replaced by the output's own, longest first.
INPUT_SUFFIXES = (".json.gz", ".json", ".gz")


@dataclass(frozen=True, slots=True)
class Log:
    """One log to convert.

    `name` is how reports name it: the path as found, or "-". `path` is None
    for standard input. `relative` is its place under the output folder,
    still with the input's file name. `error` is set when the log could not
    even be listed (an unreadable folder); it is reported in the log's turn.
    """

    name: str
    path: Path | None
    relative: PurePath
    error: OSError | None = None


def find_logs(inputs: list[str]) -> list[Log]:
    """The logs of every input, in the order given; a folder's logs sorted
    by their path inside it."""
    logs: list[Log] = []
    for arg in inputs:
        if arg == STDIN:
            logs.append(Log(STDIN, None, PurePath("stdin.json")))
        elif os.path.isdir(arg):
            logs.extend(_folder_logs(Path(arg)))
        else:
            logs.append(Log(arg, Path(arg), PurePath(Path(arg).name)))
    return logs


def _folder_logs(root: Path) -> list[Log]:
    found: list[Log] = []

    def unreadable(error: OSError) -> None:
        name = os.fsdecode(error.filename) if error.filename is not None else str(root)
        found.append(Log(name, None, PurePath(os.path.relpath(name, root)), error))

    top = os.fspath(root)
    for folder, _, files in os.walk(top, onerror=unreadable):
        # os.walk names each folder as the root given followed by the path
        # inside it: the place under the output folder is that remainder.
        inside = folder[len(top) :].lstrip(os.sep)
        for name in files:
            if name.endswith(LOG_SUFFIXES):
                path = Path(folder, name)
                found.append(Log(str(path), path, PurePath(inside, name)))
    return sorted(found, key=lambda log: log.relative.parts)


def output_name(relative: PurePath, compress: bool) -> PurePath:
    """The output file's place for a log: its input suffix replaced by
    ".mjai.jsonl", or ".mjai.jsonl.gz" for compressed output."""
    stem = relative.name
    for suffix in INPUT_SUFFIXES:
        if stem.endswith(suffix) and len(stem) > len(suffix):
            stem = stem[: -len(suffix)]
            break
    return relative.with_name(stem + (".mjai.jsonl.gz" if compress else ".mjai.jsonl"))
