"""`pairo validate INPUT...`: the replay of every mjai stream the inputs
name, on the native engine's threads, nothing written.

Each invalid game is reported on standard error as "path: line N (round
E1-0, seat 2): what does not hold", each warning as "path: warning: line
N ...: ..."; a log other than an mjai stream found in a folder or bundle is
passed over and counted, one named by itself fails. The closing line counts
valid and invalid games. Exit status: 0 when every game is valid, 1 when
some is not (or could not be read), 2 for a usage error, 130 when
interrupted.
"""

from __future__ import annotations

import argparse
import json
import os
import sys
from collections import Counter
from collections.abc import Sequence
from dataclasses import dataclass, field
from pathlib import Path
from typing import IO

from . import _native
from ._to_files import STDIN, read_stdin
from ._validate import InvalidStream, StreamWarning
from .cli import EXIT_FAILED, EXIT_INTERRUPTED, EXIT_OK, NAMES, ProgressBar, listed, positive_int, report

__all__ = ["validate_command"]

# A finding as the engine hands it: line, round, seat, check, message.
_Finding = tuple[int, str | None, int | None, str, str]


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="pairo validate",
        description="Replay mjai event streams under Tenhou's four-player rules and report each game in which "
        "an event does not follow from the ones before it.",
        epilog="Exit status: 0 when every game is valid, 1 when some is not, 2 for a usage error, "
        "130 when interrupted.",
    )
    parser.add_argument(
        "inputs",
        nargs="+",
        metavar="INPUT",
        help=f"an mjai stream (one event a line, perhaps followed by {listed(NAMES['compressions'])}), a folder "
        "searched for .jsonl and .json files (those that are mjai streams are replayed, other logs passed over), "
        f"- for standard input, or a {listed(NAMES['bundles'])} bundle of streams",
    )
    parser.add_argument(
        "-j",
        "--jobs",
        metavar="N",
        type=positive_int,
        default=os.cpu_count() or 1,
        help="replay on N threads (default: one per processor, %(default)s here)",
    )
    parser.add_argument(
        "--report",
        metavar="FILE",
        type=Path,
        help="write FILE anew with one JSON line per invalid game and per warning: name, outcome "
        "(invalid, warning or failed), line, round, seat, check, message",
    )
    parser.add_argument(
        "-q", "--quiet", action="store_true", help="no progress bar and no closing count; faults are still reported"
    )
    return parser


@dataclass
class Tally:
    valid: int = 0
    invalid: int = 0
    warnings: int = 0
    passed_over: Counter[str] = field(default_factory=Counter)

    def __str__(self) -> str:
        text = f"{self.valid} valid, {self.invalid} invalid"
        if self.warnings:
            text += f", {self.warnings} warning{'s' if self.warnings != 1 else ''}"
        for reason, count in self.passed_over.items():
            text += f", {count} passed over ({reason})"
        return text


def validate_command(argv: Sequence[str]) -> int:
    parser = build_parser()
    args = parser.parse_args(argv)
    bundles = tuple(NAMES["bundles"])
    for path in args.inputs:
        if path != STDIN and _native.is_container(path) and not path.lower().endswith(bundles):
            parser.error(f"{path} is a database: it holds Tenhou's XML records, not mjai streams")
    try:
        manifest = None if args.report is None else open(args.report, "w", encoding="utf-8", errors="backslashreplace")
    except OSError as exc:
        parser.error(f"cannot write the report {args.report}: {exc.strerror}")
    tally = Tally()
    bar = ProgressBar(enabled=not args.quiet and sys.stderr.isatty())

    def on_outcome(
        name: str,
        kind: str | None,
        error: BaseException | None,
        skip: tuple[str, str | None] | None,
        verdict: tuple[_Finding | None, tuple[_Finding, ...]] | None,
    ) -> None:
        if skip is not None:
            tally.passed_over[skip[0]] += 1
            return
        if verdict is None:
            assert error is not None
            tally.invalid += 1
            report(f"{name}: {type(error).__name__}: {error}")
            failure = {"name": name, "outcome": "failed", "line": None, "round": None, "seat": None}
            write(manifest, {**failure, "check": kind, "message": str(error)})
            return
        fault, warnings = verdict
        for found in warnings:
            warning = StreamWarning(*found)
            tally.warnings += 1
            report(f"{name}: warning: {warning}")
            write(manifest, entry(name, "warning", warning))
        if fault is None:
            tally.valid += 1
            return
        invalid = InvalidStream(*fault)
        tally.invalid += 1
        report(f"{name}: {invalid}")
        write(manifest, entry(name, "invalid", invalid))

    status = EXIT_OK
    try:
        stdin = read_stdin() if STDIN in args.inputs else None
        elapsed = _native.validate_files(args.inputs, args.jobs, stdin, on_outcome, bar.update)
        if os.environ.get("PAIRO_REPORT_ELAPSED") == "1":
            report(f"engine: {elapsed / 1e9:.6f} s")
    except KeyboardInterrupt:
        report("interrupted")
        status = EXIT_INTERRUPTED
    finally:
        bar.close()
        if manifest is not None:
            manifest.close()
    if not args.quiet:
        report(str(tally))
    if status == EXIT_OK and tally.invalid:
        status = EXIT_FAILED
    return status


def entry(name: str, outcome: str, found: InvalidStream | StreamWarning) -> dict[str, object]:
    place = {"line": found.line, "round": found.round, "seat": found.seat}
    return {"name": name, "outcome": outcome, **place, "check": found.check, "message": found.message}


def write(manifest: IO[str] | None, line: dict[str, object]) -> None:
    if manifest is not None:
        manifest.write(json.dumps(line, ensure_ascii=False) + "\n")
