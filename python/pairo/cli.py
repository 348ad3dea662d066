"""The `pairo` command: converts Tenhou logs (tenhou.net/6 JSON or XML game
records), one or whole collections, into mjai event files, or XML records
into tenhou.net/6 JSON.

    pairo INPUT... [-o OUTDIR] [-j N] [--gzip] [--skip-existing] [--fail-fast] [--to FORMAT]
          [--layout mirror|date] [--suffix SUFFIX] [--view SEAT] [FILTER...]
          [--report FILE [--report-all]] [-q]

An INPUT is a log file, a folder searched for them, "-", or a container of
many records named directly: a downloader's SQLite database (told by its
content) or a .zip, .tar, .tar.gz, .tgz, .tar.bz2 or .tar.xz bundle, whose
records go to OUTDIR/<its name without suffix>/. A single log without an
output folder goes to standard output. Failures are reported on standard
error as "path: ExceptionClass: message (detail)" and do not stop the batch;
a record skipped as the duplicate of an earlier row as
"2024.db/ID: duplicate of EARLIER-ID". A closing line counts converted,
failed and skipped logs, the skips by reason. --report FILE writes one JSON
line per log that failed or was skipped for a reason other than "existing"
(--report-all: and per log converted, with its output). --layout date,
--suffix, the filters (--length, --lobby, --public, --rules, --since,
--until, --skip-disconnected; a game left out is skipped as "filtered")
and --view make a data set as training tools read it (docs/datasets.md).
With PAIRO_REPORT_ELAPSED=1 in the environment, a last line gives the
engine's own time ("engine: 1.234567 s", first log taken to last outcome).
Exit status: 0 when every log was converted, 1 when some failed, 2 for a
usage error, 130 when interrupted.

    pairo validate INPUT... [-j N] [--report FILE] [-q]

replays each mjai stream under Tenhou's four-player rules (`validate_mjai`);
a file or folder named "validate" is converted as "./validate".
"""

from __future__ import annotations

import argparse
import json
import os
import sys
from collections.abc import Sequence
from pathlib import Path
from typing import TYPE_CHECKING, NoReturn

from _pairo import __version__

from . import _native
from ._selection import LENGTHS, LOBBIES, RULES, native_filters
from ._to_files import STDIN, Converted, ConvertSummary, Outcome, Skipped, convert_files, read_stdin

if TYPE_CHECKING:
    from tqdm import tqdm

EXIT_OK = 0
EXIT_FAILED = 1
EXIT_INTERRUPTED = 130


def main(argv: Sequence[str] | None = None) -> int:
    if argv is None:
        argv = sys.argv[1:]
    if argv and argv[0] == "validate":
        from ._validate_command import validate_command

        return validate_command(argv[1:])
    parser = build_parser()
    args = parser.parse_args(argv)
    tally = ConvertSummary()
    try:
        if args.output is None:
            status = to_stdout(parser, args, tally)
        else:
            status = to_files(parser, args, tally)
    except KeyboardInterrupt:
        report("interrupted")
        status = EXIT_INTERRUPTED
    if not args.quiet:
        report(str(tally))
    return status


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="pairo",
        description="Convert Tenhou game logs (tenhou.net/6 JSON or XML records) into mjai event streams, "
        "one event per line.",
        epilog="Exit status: 0 when every log was converted, 1 when some failed, 2 for a usage error, "
        "130 when interrupted.",
    )
    parser.add_argument(
        "inputs",
        nargs="+",
        metavar="INPUT",
        help=f"a log file ({listed(NAMES['logs'])}, each perhaps followed by {listed(NAMES['compressions'])}), "
        "a folder searched for them (a bundle's members are taken by the same names), - for standard input, or a "
        f"container of records: a downloader's SQLite database or a {listed(NAMES['bundles'])} bundle",
    )
    parser.add_argument(
        "-o",
        "--output",
        metavar="OUTDIR",
        type=Path,
        help="write one .mjai.jsonl file (.json for --to tenhou6) per log under OUTDIR, mirroring the folders "
        "found in each INPUT (without it, the one log's output goes to standard output)",
    )
    parser.add_argument(
        "-j",
        "--jobs",
        metavar="N",
        type=positive_int,
        default=os.cpu_count() or 1,
        help="convert on N threads (default: one per processor, %(default)s here)",
    )
    parser.add_argument(
        "--to",
        choices=("mjai", "tenhou6"),
        default="mjai",
        help="mjai (the default): mjai events of every log; tenhou6: the tenhou.net/6 JSON of XML records, "
        "written as .json (folders and bundles are searched for XML records only)",
    )
    parser.add_argument("--gzip", action="store_true", help="write gzip-compressed files (.gz added)")
    dataset = parser.add_argument_group("data sets", "laying out, naming and choosing the games (docs/datasets.md)")
    dataset.add_argument(
        "--layout",
        choices=("mirror", "date"),
        default="mirror",
        help="mirror (the default): outputs mirror the inputs; date: every game at OUTDIR/YYYY/MM/DD/<game id>"
        "<suffix>, the id from a database row, a file's or member's name, or a tenhou.net/6 log's ref",
    )
    dataset.add_argument(
        "--suffix",
        metavar="SUFFIX",
        help="the outputs' suffix instead of .mjai.jsonl (.json for --to tenhou6); --suffix .json --gzip writes "
        "<id>.json.gz",
    )
    dataset.add_argument("--length", choices=LENGTHS, help="keep East-only (east) or East-South (south) games")
    dataset.add_argument(
        "--lobby", metavar="LEVELS", help=f"keep the games of these lobby levels, comma-separated: {', '.join(LOBBIES)}"
    )
    dataset.add_argument(
        "--public",
        action="store_true",
        help="keep games of Tenhou's public lobbies only (lobby 0000, no private, tournament or custom rules)",
    )
    rule_names = [*RULES, *(f"no-{rule}" for rule in RULES)]
    dataset.add_argument(
        "--rules",
        metavar="RULES",
        help=f"require or refuse rules, comma-separated: {', '.join(rule_names)} (red fives, open tanyao, fast play)",
    )
    dataset.add_argument("--since", metavar="DATE", help="keep games from this day on (YYYY-MM-DD, Japan time)")
    dataset.add_argument("--until", metavar="DATE", help="keep games up to this day, inclusive (YYYY-MM-DD)")
    dataset.add_argument(
        "--skip-disconnected", action="store_true", help="leave out games in which a player was disconnected"
    )
    dataset.add_argument(
        "--view",
        metavar="SEAT",
        type=int,
        choices=range(4),
        help='write each game as seat SEAT (0-3) receives it: the other seats\' starting hands and draws as "?"',
    )
    parser.add_argument("--skip-existing", action="store_true", help="skip logs whose output file already exists")
    parser.add_argument("--fail-fast", action="store_true", help="stop at the first log that fails")
    parser.add_argument(
        "--report",
        metavar="FILE",
        type=Path,
        help="write FILE anew with one JSON line per log that failed or was skipped (but for existing outputs): "
        "name, outcome, and the skip's reason or the failure's class, message, stage, kind, round, seat, item",
    )
    parser.add_argument(
        "--report-all", action="store_true", help="with --report, also a line per converted log with its output"
    )
    parser.add_argument(
        "-q", "--quiet", action="store_true", help="no progress bar and no closing count; failures are still reported"
    )
    parser.add_argument("--version", action="version", version=f"pairo {__version__}")
    return parser


# The names the registry of formats reads, as it lists them.
NAMES = _native.INPUT_NAMES


def listed(names: Sequence[str]) -> str:
    """ "a, b or c"."""
    return names[0] if len(names) == 1 else f"{', '.join(names[:-1])} or {names[-1]}"


def positive_int(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"invalid int value: {text!r}") from None
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1, not {value}")
    return value


def to_stdout(parser: argparse.ArgumentParser, args: argparse.Namespace, tally: ConvertSummary) -> int:
    """Converts the one log (if a folder held any) to standard output."""
    if any(_native.is_container(path) for path in args.inputs if path != STDIN):
        parser.error("a container of records needs an output folder (-o OUTDIR)")
    logs = _native.find_logs(args.inputs, args.to)
    if len(logs) > 1:
        parser.error(f"{len(logs)} logs found: several logs need an output folder (-o OUTDIR)")
    dataset_flags = (
        ("--layout", args.layout != "mirror"),
        ("--suffix", args.suffix is not None),
        ("--view", args.view is not None),
        ("--length", args.length is not None),
        ("--lobby", args.lobby is not None),
        ("--public", args.public),
        ("--rules", args.rules is not None),
        ("--since", args.since is not None),
        ("--until", args.until is not None),
        ("--skip-disconnected", args.skip_disconnected),
    )
    for flag, given in (
        ("--gzip", args.gzip),
        ("--skip-existing", args.skip_existing),
        ("--report", args.report),
        *dataset_flags,
    ):
        if given:
            parser.error(f"{flag} needs an output folder (-o OUTDIR)")
    if not logs:
        return EXIT_OK
    name, error = logs[0]
    try:
        if error is not None:
            raise error
        data = read_stdin() if name == STDIN else b""
        sys.stdout.flush()  # the output goes to descriptor 1 directly, after anything buffered
        _native.convert_to_stdout(None if name == STDIN else name, data, args.to)
    except BrokenPipeError as exc:
        if exc.errno is None:  # reading the input, not writing the output
            return failed(tally, name, exc)
        # The reader went away (`pairo log.json | head`): stop quietly, and
        # keep the interpreter from failing again on its last flush.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return EXIT_FAILED
    except (KeyboardInterrupt, SystemExit):
        raise
    except BaseException as exc:  # PanicException included: reported as the log's failure
        return failed(tally, name, exc)
    tally.converted += 1
    return EXIT_OK


def failed(tally: ConvertSummary, name: str, exc: BaseException) -> int:
    tally.count(name, exc, keep=False)
    report_failure(name, exc)
    return EXIT_FAILED


def to_files(parser: argparse.ArgumentParser, args: argparse.Namespace, tally: ConvertSummary) -> int:
    if args.report_all and args.report is None:
        parser.error("--report-all needs --report FILE")
    if args.view is not None and args.to != "mjai":
        parser.error("--view needs --to mjai: a seat's view is of mjai events")
    if args.suffix is not None and (not args.suffix or "/" in args.suffix):
        parser.error(f"--suffix must be a file name's ending, not {args.suffix!r}")
    try:
        native_filters(
            length=args.length,
            lobby=args.lobby,
            public=args.public,
            rules=args.rules,
            since=args.since,
            until=args.until,
            skip_disconnected=args.skip_disconnected,
        )
    except ValueError as exc:
        parser.error(str(exc))
    try:
        # A name that is not UTF-8 holds its bytes as lone surrogates, which
        # go out as \udcXX escapes: the report stays UTF-8 JSON, and
        # os.fsencode of the name json.loads gives back restores the bytes.
        manifest = None if args.report is None else open(args.report, "w", encoding="utf-8", errors="backslashreplace")
    except OSError as exc:
        parser.error(f"cannot write the report {args.report}: {exc.strerror}")
    bar = ProgressBar(enabled=not args.quiet and sys.stderr.isatty())

    def on_outcome(name: str, outcome: Outcome) -> None:
        tally.count(name, outcome, keep=False)  # failures go out as they come; memory stays flat
        if isinstance(outcome, BaseException):
            report_failure(name, outcome)
        elif isinstance(outcome, Skipped) and outcome.duplicate_of is not None:
            report(f"{name}: duplicate of {outcome.duplicate_of}")
        if manifest is not None:
            line = report_line(name, outcome, args.report_all)
            if line is not None:
                manifest.write(json.dumps(line, ensure_ascii=False) + "\n")

    try:
        summary = convert_files(
            args.inputs,
            args.output,
            jobs=args.jobs,
            gzip=args.gzip,
            skip_existing=args.skip_existing,
            fail_fast=args.fail_fast,
            to=args.to,
            layout=args.layout,
            suffix=args.suffix,
            view=args.view,
            on_outcome=on_outcome,
            progress=bar.update,
            keep_failures=False,
            length=args.length,
            lobby=args.lobby,
            public=args.public,
            rules=args.rules,
            since=args.since,
            until=args.until,
            skip_disconnected=args.skip_disconnected,
        )
    finally:
        bar.close()
        if manifest is not None:
            manifest.close()
    if os.environ.get("PAIRO_REPORT_ELAPSED") == "1":
        report(f"engine: {summary.elapsed:.6f} s")
    return EXIT_FAILED if tally.failed else EXIT_OK


class ProgressBar:
    """tqdm's bar on standard error, fed from the engine's counter; shown on
    a terminal for more than one log. tqdm is imported only then: it would
    add a fifth to the command's start-up."""

    shown: ProgressBar | None = None  # the bar on the terminal now

    def __init__(self, enabled: bool) -> None:
        self.enabled = enabled
        self.bar: tqdm[NoReturn] | None = None

    def update(self, done: int, total: int | None) -> None:
        bar = self.bar
        if bar is None:
            # A count without a total where a tar bundle leaves it unknown.
            if not self.enabled or (total is not None and total < 2):
                return
            from tqdm import tqdm

            tqdm.monitor_interval = 0  # no monitor thread for a bar this thread feeds
            bar = self.bar = tqdm(total=total, file=sys.stderr, unit="log")
            ProgressBar.shown = self
        bar.update(done - bar.n)

    def write(self, line: str) -> None:
        assert self.bar is not None
        self.bar.write(line, file=sys.stderr)

    def close(self) -> None:
        if self.bar is not None:
            self.bar.close()
            ProgressBar.shown = None


def report_line(name: str, outcome: Outcome, every: bool) -> dict[str, object] | None:
    """The report's line for a log: failures, skips but for existing
    outputs, and (`every`) conversions with their output."""
    if isinstance(outcome, BaseException):
        diagnosis = getattr(outcome, "diagnosis", None)
        place = {field: getattr(diagnosis, field, None) for field in ("stage", "kind", "round", "seat", "item")}
        if diagnosis is None:  # a container's, a file's or an output's failure: grouped by its kind
            place["kind"] = getattr(outcome, "failure_kind", None)
        return {"name": name, "outcome": "failed", "class": type(outcome).__name__, "message": str(outcome), **place}
    if isinstance(outcome, Skipped):
        if outcome.reason == "existing":
            return None
        line: dict[str, object] = {"name": name, "outcome": "skipped", "reason": outcome.reason}
        if outcome.filter is not None:
            line["filter"] = outcome.filter
        return line
    if every and isinstance(outcome, Converted):
        return {"name": name, "outcome": "converted", "output": outcome.output}
    return None


def report_failure(name: str, exc: BaseException) -> None:
    """Reports the failure; the notes of a failed conversion tell why."""
    notes = getattr(exc, "__notes__", None)
    detail = f" ({'; '.join(notes)})" if notes else ""
    report(f"{name}: {type(exc).__name__}: {exc}{detail}")


def report(line: str) -> None:
    """A line on standard error that keeps a progress bar intact."""
    if ProgressBar.shown is not None:
        ProgressBar.shown.write(line)
    else:
        print(line, file=sys.stderr, flush=True)
