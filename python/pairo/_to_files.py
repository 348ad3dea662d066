"""Conversion of whole collections of log files into output files: the
`pairo` command's engine, for programs too.

The native engine walks the folders, and its threads read, convert and
write every log with the interpreter lock released. This thread waits for
the outcomes, hands each to the caller in input order and feeds the
progress. Outputs are atomic: each is written to a temporary file beside
its target (`.NAME.pairo-tmp-PID-N`) and renamed into place once complete;
the temporary files of a killed run are removed by the next run that writes
into their folder.
"""

from __future__ import annotations

import os
import sys
from collections.abc import Callable, Iterable
from dataclasses import dataclass, field
from typing import Literal

from . import _native
from ._in_memory import resolve_jobs

__all__ = ["ConvertSummary", "Outcome", "Target", "convert_files"]

StrPath = str | os.PathLike[str]
Target = Literal["mjai", "tenhou6"]
# What became of one log: "converted", "skipped" (its output existed), or
# the exception it failed with.
Outcome = Literal["converted", "skipped"] | BaseException
STDIN = "-"

_KINDS: tuple[Literal["converted", "skipped"], ...] = ("converted", "skipped")


@dataclass(slots=True)
class ConvertSummary:
    """What a batch did: the logs converted, failed and skipped, each
    failure as (name, exception) in input order, and the engine's own time
    in seconds, from the first log started to the last output renamed into
    place."""

    converted: int = 0
    failed: int = 0
    skipped: int = 0
    failures: list[tuple[str, BaseException]] = field(default_factory=list)
    elapsed: float = 0.0

    def count(self, name: str, outcome: Outcome) -> None:
        if outcome == "converted":
            self.converted += 1
        elif outcome == "skipped":
            self.skipped += 1
        elif isinstance(outcome, BaseException):
            self.failed += 1
            self.failures.append((name, outcome))

    def __str__(self) -> str:
        return f"{self.converted} converted, {self.failed} failed, {self.skipped} skipped"


def convert_files(
    inputs: Iterable[StrPath],
    outdir: StrPath,
    *,
    jobs: int | None = None,
    gzip: bool = False,
    skip_existing: bool = False,
    fail_fast: bool = False,
    to: Target = "mjai",
    on_outcome: Callable[[str, Outcome], object] | None = None,
    progress: Callable[[int, int], object] | None = None,
    stdin: bytes | None = None,
) -> ConvertSummary:
    """Converts the logs that `inputs` name into files under `outdir`.

    A file named directly goes at the top of `outdir`; a folder is searched
    at any depth for *.json, *.json.gz, *.mjlog, *.xml and *.xml.gz (only
    the XML ones for `to="tenhou6"`), its logs in the order of their paths
    inside it, each going to the same place under `outdir`; "-" is standard
    input (`stdin`, or read from sys.stdin when not given), going to
    "stdin.mjai.jsonl". The recognised suffix is replaced by ".mjai.jsonl",
    or ".json" for `to="tenhou6"` (the tenhou.net/6 JSON of XML records; a
    JSON log fails), with ".gz" added for `gzip`. `skip_existing` skips a
    log whose output exists; `fail_fast` stops at the first failure (no log
    starts after it; logs under way finish).

    `jobs` threads convert at once (default: one per processor). Each log's
    outcome goes to `on_outcome(name, outcome)` in input order as soon as it
    is known, and `progress(done, total)` hears of the engine's counter (logs
    done in any order) while it waits. A failed log does not stop the batch;
    an exception raised by a callback, or KeyboardInterrupt, does, after the
    logs under way are written.
    """
    summary = ConvertSummary()
    paths = list(inputs)
    if stdin is None and any(os.fspath(path) == STDIN for path in paths):
        stdin = sys.stdin.buffer.read()

    def outcome(name: str, kind: int, error: BaseException | None) -> None:
        result: Outcome = error if error is not None else _KINDS[kind]
        summary.count(name, result)
        if on_outcome is not None:
            on_outcome(name, result)

    elapsed = _native.convert_files(
        paths, outdir, resolve_jobs(jobs), gzip, skip_existing, fail_fast, to, stdin, outcome, progress
    )
    summary.elapsed = elapsed / 1e9
    return summary
