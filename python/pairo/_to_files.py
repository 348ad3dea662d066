"""Conversion of whole collections of log files, and of containers of many
records (downloaders' databases, zip and tar bundles), into output files:
the `pairo` command's engine, for programs too.

The native engine walks the folders and reads the containers, and its
threads read, convert and write every log with the interpreter lock
released. This thread waits for
the outcomes, hands each to the caller in input order and feeds the
progress. Outputs are atomic: each is written to a temporary file beside
its target (`.NAME.pairo-tmp-PID-N`) and renamed into place once complete;
the temporary files of a killed run are removed by the next run that writes
into their folder.
"""

from __future__ import annotations

import datetime
import os
import sys
from collections.abc import Callable, Iterable
from dataclasses import dataclass, field
from typing import Literal

from . import _native
from ._diagnose import Diagnosis
from ._in_memory import resolve_jobs
from ._selection import Layout, Length, native_filters

__all__ = ["ConvertSummary", "Converted", "Outcome", "SKIP_REASONS", "Skipped", "Target", "convert_files"]

StrPath = str | os.PathLike[str]
Target = Literal["mjai", "tenhou6"]
STDIN = "-"

# Why a log is skipped, in the order the first that applies is chosen: the
# engine's own words ("download failed", "not downloaded", "three-player",
# "filtered", "duplicate", "existing").
SKIP_REASONS: tuple[str, ...] = _native.SKIP_REASONS


class Converted(str):
    """The outcome of a converted log: equal to "converted", with the path
    of its `output` file."""

    __slots__ = ("output",)
    output: str

    def __new__(cls, output: str) -> Converted:
        self = super().__new__(cls, "converted")
        self.output = output
        return self


class Skipped(str):
    """The outcome of a skipped log: equal to "skipped", with its `reason`
    (one of SKIP_REASONS), for a duplicate the earlier row holding the
    same record (`duplicate_of`), and for a game the filters left out the
    filter that did ("length", "lobby", "public", "rules", "since", "until",
    "skip-disconnected")."""

    __slots__ = ("duplicate_of", "filter", "reason")
    reason: str
    duplicate_of: str | None
    filter: str | None

    def __new__(cls, reason: str = "existing", duplicate_of: str | None = None, filter: str | None = None) -> Skipped:
        self = super().__new__(cls, "skipped")
        self.reason = reason
        self.duplicate_of = duplicate_of
        self.filter = filter
        return self


# What became of one log: converted, skipped, or the exception it failed
# with (a failed conversion's exception carries its Diagnosis as
# `.diagnosis`, else None, and every failure its kind as `.failure_kind`:
# "unmatched_call", "tile_not_held", "unsafe_name", "too_large", ...).
Outcome = Converted | Skipped | BaseException


@dataclass(slots=True)
class ConvertSummary:
    """What a batch did: the logs converted, failed and skipped (`skips`
    counts them by reason), each failure as (name, exception) in input
    order, and the engine's own time in seconds, from the first log started
    to the last output renamed into place."""

    converted: int = 0
    failed: int = 0
    skipped: int = 0
    skips: dict[str, int] = field(default_factory=dict)
    failures: list[tuple[str, BaseException]] = field(default_factory=list)
    elapsed: float = 0.0

    def count(self, name: str, outcome: Outcome | str, *, keep: bool = True) -> None:
        if isinstance(outcome, BaseException):
            self.failed += 1
            if keep:
                self.failures.append((name, outcome))
        elif outcome == "converted":
            self.converted += 1
        elif outcome == "skipped":
            self.skipped += 1
            reason = outcome.reason if isinstance(outcome, Skipped) else "existing"
            self.skips[reason] = self.skips.get(reason, 0) + 1

    def __str__(self) -> str:
        line = f"{self.converted} converted, {self.failed} failed, {self.skipped} skipped"
        reasons = [f"{self.skips[reason]} {reason}" for reason in SKIP_REASONS if self.skips.get(reason)]
        return f"{line} ({', '.join(reasons)})" if reasons else line


def read_stdin() -> bytes:
    """Standard input, read no further than the record bound: one byte past
    it is enough for the engine to refuse it as it refuses a file."""
    return sys.stdin.buffer.read(_native.RECORD_LIMIT + 1)


def convert_files(
    inputs: Iterable[StrPath],
    outdir: StrPath,
    *,
    jobs: int | None = None,
    gzip: bool = False,
    skip_existing: bool = False,
    fail_fast: bool = False,
    to: Target = "mjai",
    layout: Layout = "mirror",
    suffix: str | None = None,
    length: Length | None = None,
    lobby: str | Iterable[str] | None = None,
    public: bool = False,
    rules: str | Iterable[str] | None = None,
    since: str | datetime.date | None = None,
    until: str | datetime.date | None = None,
    skip_disconnected: bool = False,
    view: int | None = None,
    on_outcome: Callable[[str, Outcome], object] | None = None,
    progress: Callable[[int, int | None], object] | None = None,
    stdin: bytes | None = None,
    keep_failures: bool = True,
) -> ConvertSummary:
    """Converts the logs that `inputs` name into files under `outdir`.

    A file named directly goes at the top of `outdir`; a container named
    directly (a downloader's SQLite database, told by its content, or a
    .zip, .tar, .tar.gz, .tgz, .tar.bz2 or .tar.xz bundle) has its records
    converted into `outdir/<its name without suffix>/`, a database row as
    `<game id>.mjai.jsonl`, a bundle member under its path in the bundle;
    rows whose download failed or never happened, three-player games and
    records stored again under another id are skipped with that reason. A
    folder is searched at any depth for logs, named as a bundle's members
    are: .json, .mjlog or .xml, each perhaps followed by .gz or .bz2 (only
    the XML ones for `to="tenhou6"`), its logs in the order of their paths
    inside it, each going to the same place under `outdir`; "-" is standard
    input (`stdin`, or read from sys.stdin when not given), going to
    "stdin.mjai.jsonl". The recognised suffix is replaced by ".mjai.jsonl",
    or ".json" for `to="tenhou6"` (the tenhou.net/6 JSON of XML records; a
    JSON log fails), with ".gz" added for `gzip`. `skip_existing` skips a
    log whose output exists; `fail_fast` stops at the first failure (no log
    starts after it; logs under way finish). Folders are not searched for
    containers; a container's entry that cannot be read fails with
    ArchiveError.

    Data sets: `layout="date"` puts every game at
    `outdir/YYYY/MM/DD/<game id><suffix>`, its id taken from a database
    row, from a file's or member's name when it is one, else from a
    tenhou.net/6 log's `ref` (a log with none fails with ArchiveError);
    `suffix` replaces ".mjai.jsonl" (".json" for tenhou6) in every layout,
    ".gz" still added for `gzip`. The filters keep the games of one
    `length` ("east" or "south"), of the `lobby` levels given ("ippan",
    "joukyuu", "tokujou", "houou"; a list or a comma-separated text), of
    Tenhou's `public` lobbies only, with the `rules` given ("aka", "kuitan",
    "fast" required, "no-aka", "no-kuitan", "no-fast" refused), played
    from `since` to `until` (dates or "YYYY-MM-DD", both inclusive, the
    game id's day), and without a disconnected player
    (`skip_disconnected`); the others are skipped as "filtered", the
    Skipped naming the filter. A filter that nothing tells for a log (no
    game id for a date) fails it with ArchiveError. `view` (a seat, 0 to 3)
    writes each game as that seat receives it (see `seat_view`).

    `jobs` threads convert at once (default: one per processor). Each log's
    outcome goes to `on_outcome(name, outcome)` in input order as soon as it
    is known (a container's record is named "<container>/<id or member>"),
    and `progress(done, total)` hears of the engine's counter (logs done in
    any order; `total` None when a tar bundle leaves it unknown) while it
    waits. A failed log does not stop the batch; an exception raised by a
    callback, or KeyboardInterrupt, does, after the logs under way are
    written.

    The summary's `failures` grows with every failed log; with
    `keep_failures=False` it stays empty (the counts are kept), for callers
    that hear of each failure through `on_outcome` over collections of any
    size.
    """
    summary = ConvertSummary()
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
    paths = list(inputs)
    if stdin is None and any(os.fspath(path) == STDIN for path in paths):
        stdin = read_stdin()

    def outcome(
        name: str,
        kind: str | None,
        output: str,
        error: BaseException | None,
        skip: tuple[str, str | None, str | None] | None,
        diagnosis: _native._DiagnosisFields | None,
    ) -> None:
        result: Outcome
        if error is not None:
            error.diagnosis = None if diagnosis is None else Diagnosis(*diagnosis)  # type: ignore[attr-defined]
            error.failure_kind = kind  # type: ignore[attr-defined]
            result = error
        elif skip is not None:
            result = Skipped(*skip)
        else:
            result = Converted(output)
        summary.count(name, result, keep=keep_failures)
        if on_outcome is not None:
            on_outcome(name, result)

    elapsed = _native.convert_files(
        paths,
        outdir,
        resolve_jobs(jobs),
        gzip,
        skip_existing,
        fail_fast,
        to,
        layout,
        suffix or "",
        filters,
        view,
        stdin,
        outcome,
        progress,
    )
    summary.elapsed = elapsed / 1e9
    return summary
