"""The command and pairo.convert_files on the native engine: XML records,
--to tenhou6, atomic outputs across killed runs, fail-fast, gzip bombs and
the faults of the file system, each one failed log."""

from __future__ import annotations

import errno
import gzip
import io
import json
import os
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

import pytest
from conftest import corpus_files, corpus_root
from test_cli import ENV, TIMEOUT, lines, output_files, pairo_command, report_lines

import _pairo
import pairo

GAME_ID = "2019021004gm-00a9-0000-e2f6516d"  # the game of the first unedited twin
BOMB_MESSAGE = "OSError: inflated gzip data is larger than 64 MiB"


def twins() -> list[tuple[Path, Path]]:
    """The XML records whose JSON twins are Tenhou's own, unedited."""
    records = corpus_files("xml", "mjlog2json-*.xml")
    return [(record, corpus_root() / "real" / f"{record.stem}.json") for record in records]


def twin_events(twin: Path) -> list[str]:
    return _pairo.tenhou_to_mjai(twin.read_text(encoding="utf-8"))


@pytest.fixture(scope="module")
def bomb(tmp_path_factory: pytest.TempPathFactory) -> bytes:
    """Gzip data that inflates to a byte past the limit."""
    return gzip.compress(b" " * ((64 << 20) + 1), compresslevel=1)


# ---- XML records and --to tenhou6 ------------------------------------------


def test_xml_records_convert_beside_json_logs_in_every_form(tmp_path):
    source = tmp_path / "in"
    expected: dict[Path, bytes] = {}
    for index, (record, twin) in enumerate(twins()):
        form = ("plain.xml", "gz.mjlog", "gz.xml.gz")[index % 3]
        name, suffix = form.split(".", 1)
        data = record.read_bytes()
        target = source / name / f"{record.stem}.{suffix}"
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(gzip.compress(data) if name == "gz" else data)
        expected[Path(name, f"{record.stem}.mjai.jsonl")] = lines(twin_events(twin))
    shutil.copyfile(twins()[0][1], source / "twin.json")
    expected[Path("twin.mjai.jsonl")] = lines(twin_events(twins()[0][1]))
    result = pairo_command(source, "-o", tmp_path / "out", "-j", "2")
    assert result.returncode == 0, result.stderr
    assert output_files(tmp_path / "out") == expected
    record, twin = twins()[1]
    assert pairo.convert_path(record) == twin_events(twin)


def test_to_tenhou6_writes_json_of_records_and_refuses_json_logs(tmp_path):
    (record, twin), (other, _) = twins()[:2]
    source = tmp_path / "in"
    source.mkdir()
    (source / f"{GAME_ID}.mjlog").write_bytes(gzip.compress(record.read_bytes()))
    shutil.copyfile(other, source / "other.xml")
    shutil.copyfile(twin, source / "ignored.json")  # folders give XML records only
    named = tmp_path / "named.json"
    shutil.copyfile(twin, named)
    out = tmp_path / "out"
    result = pairo_command(source, named, "-o", out, "--to", "tenhou6", "--gzip")
    assert result.returncode == 1
    assert report_lines(result) == [
        f"{named}: MjlogParsingError: not an XML game record: a tenhou.net/6 log is converted to mjai only",
        "2 converted, 1 failed, 0 skipped",
    ]
    files = output_files(out)
    assert sorted(files) == [Path(f"{GAME_ID}.json.gz"), Path("other.json.gz")]
    written = json.loads(gzip.decompress(files[Path(f"{GAME_ID}.json.gz")]))
    assert written == json.loads(twin.read_text(encoding="utf-8"))
    assert json.loads(gzip.decompress(files[Path("other.json.gz")]))["ref"] == ""
    single = pairo_command(f"{source / 'other.xml'}", "--to", "tenhou6")
    assert single.returncode == 0
    assert json.loads(single.stdout) == json.loads(gzip.decompress(files[Path("other.json.gz")]))


# ---- atomic outputs across runs --------------------------------------------


def dead_pid() -> int:
    child = subprocess.Popen(["true"])
    child.wait()
    return child.pid


def test_a_killed_run_leaves_whole_outputs_and_the_next_removes_its_temporaries(tmp_path):
    logs = corpus_files("real")
    source = tmp_path / "in"
    for copy in range(8):
        (source / f"{copy}").mkdir(parents=True)
        for log in logs:
            shutil.copyfile(log, source / f"{copy}" / log.name)
    out = tmp_path / "out"
    process = subprocess.Popen(
        [sys.executable, "-m", "pairo", source, "-o", out, "-j", "2", "-q"], env=ENV, stderr=subprocess.PIPE
    )
    deadline = time.monotonic() + TIMEOUT
    while process.poll() is None and len(list(out.rglob("*.mjai.jsonl"))) < 20 and time.monotonic() < deadline:
        time.sleep(0.005)
    process.send_signal(signal.SIGKILL)
    process.wait()
    if process.returncode != -signal.SIGKILL:
        pytest.skip("the run ended before it could be killed")
    expected = {log.stem: lines(pairo.convert_path(log)) for log in logs}
    for path in out.rglob("*.mjai.jsonl"):
        assert path.read_bytes() == expected[path.name.removesuffix(".mjai.jsonl")], path
    # Temporaries of a dead run and of a live process, in a folder the next run writes into.
    (out / "0").mkdir(parents=True, exist_ok=True)
    stale = out / "0" / f".a.mjai.jsonl.pairo-tmp-{dead_pid()}-7"
    live = out / "0" / f".b.mjai.jsonl.pairo-tmp-{os.getpid()}-7"
    stale.write_text("half")
    live.write_text("being written")
    result = pairo_command(source, "-o", out, "-j", "2")  # writes into every folder
    assert result.returncode == 0, result.stderr
    temporaries = sorted(p.name for p in out.rglob(".*"))
    assert temporaries == [live.name]
    assert len(list(out.rglob("*.mjai.jsonl"))) == 8 * len(logs)


def test_fail_fast_starts_no_log_beyond_the_engines_window(tmp_path):
    """With 400 logs and the fifth failing, the workers never run further
    ahead of the failure than the engine's window (64 logs for two)."""
    log = corpus_files("real")[0]
    source = tmp_path / "in"
    source.mkdir()
    for index in range(400):
        shutil.copyfile(log, source / f"{index:03}.json")
    (source / "005.json").write_text("not a log")
    out = tmp_path / "out"
    result = pairo_command(source, "-o", out, "-j", "2", "--fail-fast")
    assert result.returncode == 1
    assert report_lines(result)[-1] == "5 converted, 1 failed, 0 skipped"
    written = output_files(out)
    assert len(written) < 5 + 64 + 2
    assert set(written.values()) == {lines(pairo.convert_path(log))}


# ---- gzip bombs ------------------------------------------------------------


def test_a_gzip_bomb_is_one_failed_log(tmp_path, bomb):
    log = corpus_files("real")[0]
    source = tmp_path / "in"
    source.mkdir()
    shutil.copyfile(log, source / "a.json")
    (source / "b.json.gz").write_bytes(bomb)
    result = pairo_command(source, "-o", tmp_path / "out")
    assert result.returncode == 1
    assert report_lines(result) == [f"{source / 'b.json.gz'}: {BOMB_MESSAGE}", "1 converted, 1 failed, 0 skipped"]
    with pytest.raises(OSError, match="^inflated gzip data is larger than 64 MiB$"):
        pairo.convert_path(source / "b.json.gz")
    piped = pairo_command("-", stdin=bomb)
    assert report_lines(piped) == [f"-: {BOMB_MESSAGE}", "0 converted, 1 failed, 0 skipped"]


# ---- faults of the file system ---------------------------------------------


def test_an_input_that_cannot_be_read_fails_alone(tmp_path):
    log = corpus_files("real")[0]
    # Reading a process's memory from address 0 fails, whoever reads it.
    result = pairo_command("/proc/self/mem", log, "-o", tmp_path / "out")
    assert result.returncode == 1
    assert report_lines(result) == [
        "/proc/self/mem: OSError: Input/output error (os error 5)",
        "1 converted, 1 failed, 0 skipped",
    ]


UNSHARED = """
set -e
mount -t tmpfs -o size=96k tmpfs "$1"
mount -t tmpfs -o ro tmpfs "$2"
"$3" -m pairo "$4" -o "$1" -j 2 >"$5/full.out" 2>&1 || true
"$3" -m pairo "$4" -o "$2/deep" >"$5/ro.out" 2>&1 || true
ls -A "$1" >"$5/full.ls"
"""


def test_a_full_disk_and_a_read_only_folder_fail_their_logs(tmp_path):
    logs = corpus_files("real")
    sizes = {log: len(lines(pairo.convert_path(log))) for log in logs[:6]}
    source = tmp_path / "in"
    source.mkdir()
    for log in sizes:
        shutil.copyfile(log, source / log.name)
    full, read_only = tmp_path / "full", tmp_path / "ro"
    full.mkdir()
    read_only.mkdir()
    argv = ["unshare", "-m", "sh", "-c", UNSHARED, "sh", full, read_only, sys.executable, source, tmp_path]
    ran = subprocess.run(list(map(str, argv)), env=ENV, capture_output=True, text=True, timeout=TIMEOUT)
    if ran.returncode != 0:
        pytest.skip(f"no tmpfs in a mount namespace here: {ran.stderr.strip()}")
    reports = (tmp_path / "full.out").read_text().splitlines()
    no_space = [line for line in reports if line.endswith("OSError: [Errno 28] No space left on device")]
    assert no_space, reports
    assert reports[-1] == f"{len(sizes) - len(no_space)} converted, {len(no_space)} failed, 0 skipped"
    assert not [name for name in (tmp_path / "full.ls").read_text().split() if name.startswith(".")]
    assert (tmp_path / "ro.out").read_text().splitlines() == [
        *(
            f"{source / log.name}: OSError: [Errno 30] Read-only file system: '{read_only / 'deep'}'"
            for log in sorted(sizes)
        ),
        f"0 converted, {len(sizes)} failed, 0 skipped",
    ]


# ---- the Python function ---------------------------------------------------


def test_convert_files_summarises_and_reports_in_order(tmp_path):
    logs = corpus_files("real")[:3]
    bad = tmp_path / "bad.json"
    bad.write_text("[]")
    out = tmp_path / "out"
    (out).mkdir()
    (out / f"{logs[1].stem}.mjai.jsonl").write_text("kept\n")
    heard: list[tuple[str, object]] = []
    progress: list[tuple[int, int]] = []
    summary = pairo.convert_files(
        [*logs, bad],
        out,
        jobs=2,
        skip_existing=True,
        on_outcome=lambda name, outcome: heard.append((name, outcome)),
        progress=lambda done, total: progress.append((done, total)),
    )
    assert (summary.converted, summary.failed, summary.skipped) == (2, 1, 1)
    assert [name for name, _ in heard] == [*map(str, logs), str(bad)]
    assert [outcome for _, outcome in heard[:3]] == ["converted", "skipped", "converted"]
    assert summary.failures == [(str(bad), heard[3][1])]
    assert isinstance(heard[3][1], _pairo.JsonParsingError)
    assert progress[-1] == (4, 4)
    assert summary.elapsed > 0
    with pytest.raises(ValueError, match="jobs must be at least 1, not 0"):
        pairo.convert_files(logs, out, jobs=0)


# ---- the record bound and errno: one rule wherever a record is held -------


@pytest.fixture(scope="module")
def past_the_bound(tmp_path_factory: pytest.TempPathFactory) -> dict[str, Path]:
    """A log a byte past the bound, held in each way pairo reads one."""
    import sqlite3
    import tarfile
    import zipfile

    from test_archives import NEWER, build_database

    folder = tmp_path_factory.mktemp("bound")
    text = b" " * ((64 << 20) + 1)
    (folder / "plain.json").write_bytes(text)
    (folder / "packed.json.gz").write_bytes(gzip.compress(text, 1))
    build_database(folder / "2019.db", NEWER, [(GAME_ID, False, 1, 0, b"x")])
    with sqlite3.connect(folder / "2019.db") as db:
        db.execute("UPDATE logs SET log = ?", (gzip.compress(text, 1),))
    with zipfile.ZipFile(folder / "set.zip", "w", zipfile.ZIP_DEFLATED) as archive:
        archive.writestr("big.json", text)
    with tarfile.open(folder / "set.tar.gz", "w:gz", compresslevel=1) as tar:
        info = tarfile.TarInfo("big.json")
        info.size = len(text)
        tar.addfile(info, io.BytesIO(text))
    return {
        "log file": folder / "plain.json",
        "inflated gzip data": folder / "packed.json.gz",
        "inflated gzip data ": folder / "2019.db",  # a blob's gzip, named as any gzip is
        "zip member": folder / "set.zip",
        "tar member": folder / "set.tar.gz",
    }


@pytest.mark.parametrize("what", ["log file", "inflated gzip data", "inflated gzip data ", "zip member", "tar member"])
def test_a_record_past_the_bound_fails_alike_whatever_holds_it(past_the_bound, tmp_path, what):
    summary = pairo.convert_files([past_the_bound[what]], tmp_path)
    [(_, error)] = summary.failures
    assert type(error) is OSError
    assert str(error) == f"{what.strip()} is larger than 64 MiB"
    assert error.errno == errno.EFBIG


@pytest.mark.parametrize(
    ("make", "number"),
    [
        (lambda folder: folder, errno.EISDIR),
        (lambda folder: folder / "missing.json", errno.ENOENT),
        (lambda folder: _put_bytes(folder / "latin1.json", "[\"é\"]".encode("latin-1")), errno.EILSEQ),
        (lambda folder: _put_bytes(folder / "bad.json.gz", b"\x1f\x8b not gzip"), errno.EINVAL),
    ],
    ids=["folder", "missing", "not-utf8", "bad-gzip"],
)
def test_every_input_oserror_carries_its_errno_and_keeps_its_text(tmp_path, make, number):
    path = make(tmp_path)
    with pytest.raises(OSError) as raised:
        pairo.convert_path(path)
    assert raised.value.errno == number
    assert raised.value.strerror is None and raised.value.filename is None  # the text is the fixed one
    with pytest.raises(OSError) as fixed:  # the fixed surface's exceptions are as they were
        _pairo.tenhou_file_to_mjai(path)
    assert fixed.value.errno is None


def _put_bytes(path: Path, data: bytes) -> Path:
    path.write_bytes(data)
    return path
