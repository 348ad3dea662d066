"""Containers of many records as users hold them, seen from the command and
from Python: downloaders' databases of both layouts and zip/tar bundles,
built here from corpus records. What is converted, skipped (and why),
failed alone, reported, resumed after SIGKILL, and iterated over."""

from __future__ import annotations

import bz2
import fcntl
import gzip
import io
import json
import os
import signal
import sqlite3
import subprocess
import sys
import tarfile
import threading
import time
import zipfile
from dataclasses import dataclass
from pathlib import Path

import pytest
from conftest import corpus_files
from test_cli import ENV, TIMEOUT, pairo_command, report_lines

import pairo

FIRST = "2019021004gm-00a9-0000-e2f6516d"
SECOND = "2019080322gm-00a9-0000-81e85e04"
THREE_PLAYER = "2019021005gm-00b9-0000-0a0a0a0a"
DOWNLOAD_FAILED = "2019021006gm-00a9-0000-0b0b0b0b"
NOT_DOWNLOADED = "2019021007gm-00a9-0000-0c0c0c0c"
DUPLICATE = "2019021008gm-00a9-0000-0d0d0d0d"
CORRUPT = "2019021009gm-00a9-0000-0e0e0e0e"
BROKEN = "2019021010gm-00a9-0000-0f0f0f0f"
UNREAD = "2019021011gm-00a9-0000-1a1a1a1a"
BAD_ID = "../../x"


@dataclass(frozen=True)
class Layout:
    name: str
    schema: str
    insert: str  # id, three-player column, is_processed, was_error, record
    three_player: int
    four_player: int
    compress: object


OLDER = Layout(
    "phoenix",
    "CREATE TABLE logs(log_id TEXT PRIMARY KEY, date TEXT, is_tonpusen INT, is_sanma INT, is_processed INT, "
    "was_error INT, log_content TEXT, log_hash TEXT); CREATE TABLE last_downloads(name TEXT, date INT)",
    "INSERT INTO logs(log_id, is_sanma, is_processed, was_error, log_content) VALUES(?,?,?,?,?)",
    1,
    0,
    bz2.compress,
)
NEWER = Layout(
    "houou",
    "CREATE TABLE logs(id TEXT PRIMARY KEY, date TEXT NOT NULL DEFAULT '', num_players INT, is_tonpu INT, "
    "is_processed INT, was_error INT, log BLOB) WITHOUT ROWID; CREATE TABLE last_fetch_time(time REAL)",
    "INSERT INTO logs(id, num_players, is_processed, was_error, log) VALUES(?,?,?,?,?)",
    3,
    4,
    gzip.compress,
)


def records() -> list[bytes]:
    return [path.read_bytes() for path in corpus_files("xml", "mjlog2json-*.xml")[:2]]


def broken_log() -> bytes:
    """A JSON log that decodes but does not convert: the diagnosis has a place."""
    from test_diagnose import UNMATCHED_PON

    return UNMATCHED_PON.encode()


def unread_record() -> bytes:
    """An XML record that does not read: a discard of a tile seat 0 does not hold."""
    from test_diagnose import another_seats_tile

    return another_seats_tile(records()[1].decode())[0].encode()


def build_database(path: Path, layout: Layout, rows: list[tuple[str, bool, int, int, bytes | None]]) -> Path:
    db = sqlite3.connect(path)
    db.executescript(layout.schema)
    for row_id, three, processed, error, record in rows:
        blob = None if record is None else (layout.compress(record) if record else b"")  # type: ignore[operator]
        db.execute(
            layout.insert, (row_id, layout.three_player if three else layout.four_player, processed, error, blob)
        )
    db.commit()
    db.close()
    return path


def faulty_rows() -> list[tuple[str, bool, int, int, bytes | None]]:
    first, second = records()
    return [
        (FIRST, False, 1, 0, first),
        (THREE_PLAYER, True, 1, 0, second),
        (DOWNLOAD_FAILED, False, 1, 1, None),
        (NOT_DOWNLOADED, False, 0, 0, None),
        (DUPLICATE, False, 1, 0, first),
        (CORRUPT, False, 1, 0, b""),  # replaced by a corrupt blob below
        (BROKEN, False, 1, 0, broken_log()),
        (UNREAD, False, 1, 0, unread_record()),
        (BAD_ID, False, 1, 0, second),
        (SECOND, False, 1, 0, second),
    ]


@pytest.fixture(params=[OLDER, NEWER], ids=lambda layout: layout.name)
def database(request, tmp_path) -> Path:
    path = build_database(tmp_path / "2019.db", request.param, faulty_rows())
    db = sqlite3.connect(path)
    column = "log_content" if request.param is OLDER else "log"
    id_column = "log_id" if request.param is OLDER else "id"
    corrupt = request.param.compress(records()[0])[:40] + b"\0" * 40
    db.execute(f"UPDATE logs SET {column} = ? WHERE {id_column} = ?", (corrupt, CORRUPT))
    db.commit()
    db.close()
    return path


def outputs(folder: Path) -> dict[str, bytes]:
    return {str(p.relative_to(folder)): p.read_bytes() for p in sorted(folder.rglob("*")) if p.is_file()}


def event_lines(record: bytes) -> bytes:
    return "".join(line + "\n" for line in pairo.mjlog_to_mjai(record)).encode()


def test_a_database_converts_its_records_and_skips_and_fails_each_row_alone(database, tmp_path):
    out = tmp_path / "out"
    report = tmp_path / "report.jsonl"
    result = pairo_command(database, "-o", out, "-j", "2", "--report", report)
    assert result.returncode == 1
    first, second = records()
    assert outputs(out) == {
        f"2019/{FIRST}.mjai.jsonl": event_lines(first),
        f"2019/{SECOND}.mjai.jsonl": event_lines(second),
    }
    lines = report_lines(result)
    assert f"{database}/{DUPLICATE}: duplicate of {FIRST}" in lines
    assert lines[-1] == (
        "2 converted, 4 failed, 4 skipped (1 download failed, 1 not downloaded, 1 three-player, 1 duplicate)"
    )
    entries = {entry["name"].rsplit("/", 1)[-1]: entry for entry in map(json.loads, report.read_text().splitlines())}
    assert {name: entry.get("reason") for name, entry in entries.items() if entry["outcome"] == "skipped"} == {
        DOWNLOAD_FAILED: "download failed",
        NOT_DOWNLOADED: "not downloaded",
        THREE_PLAYER: "three-player",
        DUPLICATE: "duplicate",
    }
    failed = {name: entry for name, entry in entries.items() if entry["outcome"] == "failed"}
    assert failed[CORRUPT]["class"] == "ArchiveError"
    assert "game id" in next(e["message"] for n, e in failed.items() if n not in (CORRUPT, BROKEN, UNREAD))
    assert failed[BROKEN]["class"] == "TenhouToMjaiError"
    assert (failed[BROKEN]["stage"], failed[BROKEN]["round"], failed[BROKEN]["seat"]) == ("convert", "S2-1", 3)
    unread = failed[UNREAD]
    place = (unread["class"], unread["stage"], unread["kind"], unread["seat"])
    assert place == ("MjlogParsingError", "decode", "tile_not_held", 0)
    assert unread["message"] == str(pytest.raises(pairo.MjlogParsingError, pairo.mjlog_to_mjai, unread_record()).value)
    assert failed[CORRUPT]["stage"] is None
    assert len(entries) == 8  # converted logs only with --report-all


def test_the_verdicts_and_outputs_are_the_same_at_any_thread_count(database, tmp_path):
    runs = []
    for jobs in ("1", "2"):
        out = tmp_path / f"out{jobs}"
        result = pairo_command(database, "-o", out, "-j", jobs, "--gzip")
        runs.append((outputs(out), report_lines(result)))
    assert runs[0] == runs[1]
    assert f"2019/{FIRST}.mjai.jsonl.gz" in runs[0][0]


def test_report_all_names_each_output_and_tenhou6_refs_are_the_row_ids(tmp_path):
    first, second = records()
    database = build_database(
        tmp_path / "y.sqlite", NEWER, [(FIRST, False, 1, 0, first), (SECOND, False, 1, 0, second)]
    )
    out = tmp_path / "out"
    report = tmp_path / "r.jsonl"
    report.write_text("an earlier run's line\n")
    result = pairo_command(database, "-o", out, "--to", "tenhou6", "--report", report, "--report-all")
    assert (result.returncode, report_lines(result)) == (0, ["2 converted, 0 failed, 0 skipped"])
    assert [json.loads(line) for line in report.read_text().splitlines()] == [
        {"name": f"{database}/{game}", "outcome": "converted", "output": str(out / "y" / f"{game}.json")}
        for game in (FIRST, SECOND)
    ]
    assert json.loads((out / "y" / f"{SECOND}.json").read_text())["ref"] == SECOND


@pytest.mark.parametrize(
    ("content", "message"),
    [
        (lambda path: sqlite3.connect(path).executescript("CREATE TABLE other(x)"), "not a game-record database"),
        (lambda path: path.write_bytes(b"SQLite format 3\0" + b"\xff" * 200), "database"),
    ],
    ids=["no logs table", "corrupt file"],
)
def test_a_file_that_is_no_database_fails_alone_as_archive_error(tmp_path, content, message):
    bad = tmp_path / "bad.db"
    content(bad)
    log = corpus_files("real")[0]
    result = pairo_command(bad, log, "-o", tmp_path / "out")
    assert result.returncode == 1
    lines = report_lines(result)
    assert lines[0].startswith(f"{bad}: ArchiveError: ") and message in lines[0]
    assert lines[-1] == "1 converted, 1 failed, 0 skipped"


def member(tar: tarfile.TarFile, name: str, data: bytes = b"", kind: bytes = tarfile.REGTYPE, link: str = "") -> None:
    info = tarfile.TarInfo(name)
    info.type, info.size, info.linkname = kind, len(data), link
    tar.addfile(info, io.BytesIO(data) if kind == tarfile.REGTYPE else None)


def build_bundle(path: Path, truncated: bool = False) -> None:
    first, second = records()
    bomb = gzip.compress(b" " * ((64 << 20) + 1))
    with tarfile.open(path, "w:gz") as tar:
        member(tar, f"2019/02/{FIRST}.mjlog", first)
        member(tar, f"2019/08/{SECOND}.xml.gz", gzip.compress(second))
        member(tar, "../escape.mjlog", first)
        member(tar, "/abs.mjlog", first)
        member(tar, "link.mjlog", kind=tarfile.SYMTYPE, link="/etc/passwd")
        member(tar, "bomb.json.gz", bomb)
        member(tar, "z/last.mjlog", second)
    if truncated:  # the stream ends inside the last member's data
        raw = gzip.decompress(path.read_bytes())
        path.write_bytes(gzip.compress(raw[: raw.index(b"z/last.mjlog") + 512 + 1000]))


@pytest.mark.parametrize("truncated", [False, True], ids=["whole", "truncated"])
def test_a_bundle_writes_only_inside_its_folder_and_fails_bad_members_alone(tmp_path, truncated):
    bundle = tmp_path / "set.tar.gz"
    build_bundle(bundle, truncated)
    out = tmp_path / "work" / "out"
    result = pairo_command(bundle, "-o", out, "-j", "2")
    assert result.returncode == 1
    first, second = records()
    expected = {
        f"set/2019/02/{FIRST}.mjai.jsonl": event_lines(first),
        f"set/2019/08/{SECOND}.mjai.jsonl": event_lines(second),
    }
    if not truncated:
        expected["set/z/last.mjai.jsonl"] = event_lines(second)
    assert outputs(tmp_path / "work") == {f"out/{name}": data for name, data in expected.items()}
    lines = report_lines(result)
    failed = lines[:-1]
    assert all(": ArchiveError: " in line or "64 MiB" in line for line in failed), failed
    assert lines[-1] == f"{len(expected)} converted, {len(failed)} failed, 0 skipped"
    assert len(failed) == 4 + truncated  # escape, absolute, link, bomb (and the truncated end)


def test_a_zip_with_folders_and_an_unsafe_name(tmp_path):
    first, second = records()
    bundle = tmp_path / "Set.ZIP"
    with zipfile.ZipFile(bundle, "w", zipfile.ZIP_DEFLATED) as archive:
        archive.writestr(f"a/b/{FIRST}.mjlog", first)
        archive.writestr("../../evil.mjlog", second)
        archive.writestr(f"{SECOND}.xml.gz", gzip.compress(second))
    summary = pairo.convert_files([bundle], tmp_path / "out")
    assert (summary.converted, summary.failed, summary.skipped) == (2, 1, 0)
    assert isinstance(summary.failures[0][1], pairo.ArchiveError)
    assert outputs(tmp_path / "out") == {
        f"Set/a/b/{FIRST}.mjai.jsonl": event_lines(first),
        f"Set/{SECOND}.mjai.jsonl": event_lines(second),
    }


# One file of each name a folder or a bundle may hold: a log's suffix, then
# perhaps a compression's; and names that are no log.
LOG_NAMES = {
    "a.json": (b"json", None),
    "b.json.gz": (b"json", gzip.compress),
    "c.mjlog": (b"xml", None),
    "d.mjlog.gz": (b"xml", gzip.compress),
    "e.xml": (b"xml", None),
    "f.xml.gz": (b"xml", gzip.compress),
    "g.json.bz2": (b"json", bz2.compress),
    "h.txt": (b"xml", None),
    "i.jsonl": (b"json", None),
}


@pytest.mark.parametrize(
    ("target", "converted"),
    [("mjai", "abcdefg"), ("tenhou6", "cdef")],
)
def test_a_folder_and_a_bundle_take_the_same_names_as_logs(tmp_path, target, converted):
    record = records()[0]
    texts = {b"xml": record, b"json": pairo.mjlog_to_tenhou6(record).encode()}
    folder = tmp_path / "logs"
    folder.mkdir()
    with tarfile.open(tmp_path / "logs.tar", "w") as tar:
        for name, (kind, compress) in LOG_NAMES.items():
            data = compress(texts[kind]) if compress else texts[kind]
            (folder / name).write_bytes(data)
            member(tar, name, data)
    suffix = ".mjai.jsonl" if target == "mjai" else ".json"
    for given, written in ((folder, ""), (tmp_path / "logs.tar", "logs/")):
        out = tmp_path / f"from-{given.name}"
        result = pairo_command(given, "-o", out, "--to", target)
        assert result.returncode == 0, report_lines(result)
        assert outputs(out).keys() == {f"{written}{stem}{suffix}" for stem in converted}
        assert len(set(outputs(out).values())) == 1  # every log holds the same game


def many_rows(count: int) -> list[tuple[str, bool, int, int, bytes | None]]:
    """Distinct records (a trailing comment tells them apart), every tenth
    the duplicate of the row before it."""
    base = records()[0]
    rows: list[tuple[str, bool, int, int, bytes | None]] = []
    for i in range(count):
        record = rows[-1][4] if i % 10 == 9 else base + b"<!-- %d -->" % i
        rows.append((f"2019{i // 100 + 10:02d}0100gm-00a9-0000-{i:08x}", False, 1, 0, record))
    return rows


def test_a_run_killed_with_sigkill_leaves_whole_outputs_and_resumes(tmp_path):
    database = build_database(tmp_path / "big.db", NEWER, many_rows(600))
    fresh = tmp_path / "fresh"
    expected = pairo_command(database, "-o", fresh, "-j", "2", "-q")
    out = tmp_path / "out"
    command = [sys.executable, "-m", "pairo", str(database), "-o", str(out), "-j", "2", "-q"]
    process = subprocess.Popen(command, env=ENV, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + TIMEOUT
    while len(list(out.rglob("*.jsonl"))) < 100 and process.poll() is None and time.monotonic() < deadline:
        time.sleep(0.005)
    process.send_signal(signal.SIGKILL)
    assert process.wait() == -signal.SIGKILL, "the run ended before it was killed"
    complete = outputs(fresh)
    partial = {name: data for name, data in outputs(out).items() if not name.split("/")[-1].startswith(".")}
    assert partial and all(complete[name] == data for name, data in partial.items())
    resumed = pairo_command(database, "-o", out, "-j", "2", "--skip-existing")
    assert outputs(out) == complete
    duplicates = [line for line in report_lines(resumed) if "duplicate of" in line]
    assert duplicates == [line for line in report_lines(expected) if "duplicate of" in line]
    assert len(duplicates) == 60


def sidecars(database: Path) -> dict[str, int]:
    """The journal, WAL and shared-memory files beside the database, by inode."""
    return {p.name: p.stat().st_ino for p in database.parent.iterdir() if p.name.startswith(database.name + "-")}


@pytest.mark.parametrize("journal", ["DELETE", "WAL"])
def test_a_downloader_appending_during_a_run_is_never_kept_waiting(tmp_path, journal):
    """A downloader commits rows into the database the command is reading,
    in step with it: each duplicate the command reports (one flushed line
    on standard error) lets one more row in, with ids between the rows
    already there. The command's standard error is a pipe of one page, so
    the command cannot run far ahead of the downloader: a read lock held
    across rows would leave the downloader busy past its one-second wait.
    The run converts exactly the rows committed before it started; the
    journal, WAL and shared-memory files beside the database during and
    after the run are the downloader's own (the same files, by inode, as
    before the run), and none is left once the downloader closes."""
    base = records()[0]
    database = tmp_path / "2019.db"
    writer = sqlite3.connect(database, timeout=1.0, isolation_level=None)
    writer.execute(f"PRAGMA journal_mode={journal}")
    writer.executescript(NEWER.schema)

    def insert(key: int, record: bytes) -> None:
        writer.execute(NEWER.insert, (f"2019021000gm-00a9-0000-{key:08x}", 4, 1, 0, gzip.compress(record, 1)))

    pairs = 100  # each a record, then its duplicate: even keys
    writer.execute("BEGIN")
    for pair in range(pairs):
        record = base + b"<!-- %d -->" % pair
        insert(4 * pair, record)
        insert(4 * pair + 2, record)
    writer.execute("COMMIT")
    own_files = sidecars(database)
    assert set(own_files) == ({"2019.db-wal", "2019.db-shm"} if journal == "WAL" else set())

    read_end, write_end = os.pipe()
    fcntl.fcntl(read_end, fcntl.F_SETPIPE_SZ, 4096)
    out = tmp_path / "out"
    command = [sys.executable, "-m", "pairo", str(database), "-o", str(out), "-j", "2", "-q"]
    process = subprocess.Popen(command, env=ENV, stderr=write_end)
    os.close(write_end)
    watchdog = threading.Timer(TIMEOUT, process.kill)
    watchdog.start()
    appended = 0
    try:
        with os.fdopen(read_end, "rb") as reported:
            for line in reported:
                assert b": duplicate of " in line, line
                insert(2 * appended + 1, b"appended %d" % appended)  # odd keys, between the rows read
                assert appended or process.poll() is None  # the first while the command still reads
                appended += 1
        assert process.wait() == 0
        assert sidecars(database) == own_files
    finally:
        watchdog.cancel()
        process.kill()
        process.wait()
        writer.close()
    assert appended == pairs
    assert sidecars(database) == {}
    assert outputs(out) == {
        f"2019/2019021000gm-00a9-0000-{4 * pair:08x}.mjai.jsonl": event_lines(base + b"<!-- %d -->" % pair)
        for pair in range(pairs)
    }


def test_convert_files_counts_skips_by_reason_and_tells_each_outcome(database, tmp_path):
    heard: list[tuple[str, pairo._to_files.Outcome]] = []
    summary = pairo.convert_files([database], tmp_path / "out", jobs=2, on_outcome=lambda n, o: heard.append((n, o)))
    assert summary.skips == {"download failed": 1, "not downloaded": 1, "three-player": 1, "duplicate": 1}
    assert set(summary.skips) < set(pairo.SKIP_REASONS)  # the package names every reason a summary counts
    skipped = {name.rsplit("/", 1)[-1]: o for name, o in heard if isinstance(o, pairo.Skipped)}
    assert skipped[DUPLICATE] == "skipped" and skipped[DUPLICATE].duplicate_of == FIRST
    converted = [o for _, o in heard if isinstance(o, pairo.Converted)]
    assert [Path(o.output).name for o in converted] == [f"{FIRST}.mjai.jsonl", f"{SECOND}.mjai.jsonl"]
    assert str(pairo.ConvertSummary(converted=295, failed=2)) == "295 converted, 2 failed, 0 skipped"


def test_convert_archive_yields_records_in_order_and_stops_early(database):
    first, second = records()
    results = list(pairo.convert_archive(database, jobs=2))
    names = [name for name, _ in results]
    assert [name for name in names if name in (FIRST, SECOND)] == [FIRST, SECOND]
    by_name = dict(results)
    assert by_name[FIRST] == pairo.mjlog_to_mjai(first)
    assert isinstance(by_name[CORRUPT], pairo.ArchiveError) and isinstance(by_name[CORRUPT], ValueError)
    assert not {THREE_PLAYER, DOWNLOAD_FAILED, NOT_DOWNLOADED, DUPLICATE} & set(names)
    assert len(results) == 6
    iterator = pairo.convert_archive(database, jobs=2, to="tenhou6")
    name, text = next(iterator)
    iterator.close()  # cancels the rest; nothing hangs
    assert isinstance(text, (str, BaseException))
    with pytest.raises(StopIteration):
        next(iterator)


def test_convert_archive_refuses_what_is_no_container(tmp_path):
    log = corpus_files("real")[0]
    with pytest.raises(pairo.ArchiveError, match="not a game-record database or a bundle"):
        pairo.convert_archive(log)
    assert issubclass(pairo.ArchiveError, ValueError)
    assert pairo.ArchiveError.__module__ == "pairo"


@pytest.mark.parametrize(
    ("extra", "message"),
    [
        ((), "a container of records needs an output folder (-o OUTDIR)"),
        (("-o", "out", "--report-all"), "--report-all needs --report FILE"),
    ],
    ids=["no output folder", "report-all alone"],
)
def test_usage_errors(tmp_path, extra, message):
    first, _ = records()
    database = build_database(tmp_path / "z.db", NEWER, [(FIRST, False, 1, 0, first)])
    result = pairo_command(database, *extra, cwd=tmp_path)
    assert result.returncode == 2
    assert message in result.stderr.decode()
    assert not (tmp_path / "out").exists()
