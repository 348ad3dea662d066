"""The `pairo` command: converts Tenhou logs, one or whole collections, into
mjai event files.

    pairo INPUT... [-o OUTDIR] [-j N] [--gzip] [--skip-existing] [--fail-fast] [-q]

A single log without an output folder goes to standard output. Failures are
reported on standard error as "path: ExceptionClass: message (detail)" and
do not stop the batch; a closing line counts converted, failed and skipped
logs.
Exit status: 0 when every log was converted, 1 when some failed, 2 for a
usage error.
"""

from __future__ import annotations

import argparse
import os
import sys
from collections.abc import Sequence
from contextlib import closing
from dataclasses import dataclass, replace
from functools import partial
from pathlib import Path

from tqdm import tqdm

from _pairo import __version__

from ._inputs import STDIN, Log, find_logs, output_name
from ._output import Task, convert_log, convert_to_file, encode_lines
from .batch import attempt, ordered_map

EXIT_OK = 0
EXIT_FAILED = 1
EXIT_INTERRUPTED = 130


@dataclass(slots=True)
class Tally:
    converted: int = 0
    failed: int = 0
    skipped: int = 0

    def __str__(self) -> str:
        return f"{self.converted} converted, {self.failed} failed, {self.skipped} skipped"


def main(argv: Sequence[str] | None = None) -> int:
    parser = build_parser()
    args = parser.parse_args(argv)
    logs = find_logs(args.inputs)
    tally = Tally()
    try:
        if args.output is None:
            check_single(parser, args, logs)
            status = to_stdout(logs, tally)
        else:
            status = to_files(plan(parser, args, logs, tally), tally, args)
    except KeyboardInterrupt:
        report("interrupted")
        status = EXIT_INTERRUPTED
    if not args.quiet:
        report(str(tally))
    return status


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="pairo",
        description="Convert Tenhou version-6 JSON game logs into mjai event streams, one event per line.",
        epilog="Exit status: 0 when every log was converted, 1 when some failed, 2 for a usage error.",
    )
    parser.add_argument(
        "inputs",
        nargs="+",
        metavar="INPUT",
        help="a log file (.json, or .json.gz read through gzip), a folder searched for them, or - for standard input",
    )
    parser.add_argument(
        "-o",
        "--output",
        metavar="OUTDIR",
        type=Path,
        help="write one .mjai.jsonl file per log under OUTDIR, mirroring the folders found in each INPUT "
        "(without it, the one log's events go to standard output)",
    )
    parser.add_argument(
        "-j",
        "--jobs",
        metavar="N",
        type=positive_int,
        default=os.cpu_count() or 1,
        help="convert in N processes (default: one per processor, %(default)s here)",
    )
    parser.add_argument("--gzip", action="store_true", help="write gzip-compressed .mjai.jsonl.gz files")
    parser.add_argument(
        "--skip-existing", action="store_true", help="skip logs whose output file already exists"
    )
    parser.add_argument("--fail-fast", action="store_true", help="stop at the first log that fails")
    parser.add_argument(
        "-q", "--quiet", action="store_true", help="no progress bar and no closing count; failures are still reported"
    )
    parser.add_argument("--version", action="version", version=f"pairo {__version__}")
    return parser


def positive_int(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"invalid int value: {text!r}") from None
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1, not {value}")
    return value


def check_single(parser: argparse.ArgumentParser, args: argparse.Namespace, logs: list[Log]) -> None:
    if len(logs) > 1:
        parser.error(f"{len(logs)} logs found: several logs need an output folder (-o OUTDIR)")
    for flag, given in (("--gzip", args.gzip), ("--skip-existing", args.skip_existing)):
        if given:
            parser.error(f"{flag} needs an output folder (-o OUTDIR)")


def to_stdout(logs: list[Log], tally: Tally) -> int:
    """Converts the one log (if a folder held any) to standard output."""
    if not logs:
        return EXIT_OK
    log = logs[0]
    events = attempt(partial(convert_log, log), stdin_data(log))
    if isinstance(events, BaseException):
        failed(tally, log, events)
        return EXIT_FAILED
    try:
        sys.stdout.buffer.write(encode_lines(events))
        sys.stdout.flush()
    except BrokenPipeError:
        # The reader went away (`pairo log.json | head`): stop quietly, and
        # keep the interpreter from failing again on its last flush.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return EXIT_FAILED
    tally.converted += 1
    return EXIT_OK


def plan(parser: argparse.ArgumentParser, args: argparse.Namespace, logs: list[Log], tally: Tally) -> list[Task]:
    """The tasks for the logs to convert, after skipping (and counting) those
    whose output exists. A log bound for the output file of a log before it
    (`x.json` beside `x.json.gz`) fails in its turn."""
    tasks: list[Task] = []
    owners: dict[Path, str] = {}
    for log in logs:
        target = args.output / output_name(log.relative, args.gzip)
        if target in owners:
            log = replace(log, error=FileExistsError(f"{target} is also the output of {owners[target]}"))
        else:
            owners[target] = log.name
        if args.skip_existing and target.exists():
            tally.skipped += 1
            continue
        tasks.append(Task(log, target, args.gzip, stdin_data(log)))
    return tasks


def stdin_data(log: Log) -> bytes | None:
    """Standard input's bytes for the log that names it, read here: workers
    do not share the command's standard input."""
    return sys.stdin.buffer.read() if log.name == STDIN and log.error is None else None


def to_files(tasks: list[Task], tally: Tally, args: argparse.Namespace) -> int:
    show = not args.quiet and len(tasks) > 1 and sys.stderr.isatty()
    tqdm.monitor_interval = 0  # no monitor thread: workers are forked from this process
    outcomes = ordered_map(convert_to_file, tasks, min(args.jobs, max(len(tasks), 1)))
    # Leaving early (failure under --fail-fast, Ctrl-C) closes the outcomes:
    # conversions under way finish, the others are dropped.
    with closing(outcomes), tqdm(total=len(tasks), file=sys.stderr, unit="log", disable=not show) as bar:
        for task, outcome in zip(tasks, outcomes):
            bar.update(1)
            if outcome is None:
                tally.converted += 1
                continue
            failed(tally, task.log, outcome)
            if args.fail_fast:
                break
    return EXIT_FAILED if tally.failed else EXIT_OK


def failed(tally: Tally, log: Log, exc: BaseException) -> None:
    """Reports the failure; the notes of a failed conversion tell why."""
    tally.failed += 1
    notes = getattr(exc, "__notes__", None)
    detail = f" ({'; '.join(notes)})" if notes else ""
    report(f"{log.name}: {type(exc).__name__}: {exc}{detail}")


def report(line: str) -> None:
    """A line on standard error that keeps a progress bar intact."""
    tqdm.write(line, file=sys.stderr)

