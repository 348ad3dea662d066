"""Inputs made by an attacker, from the command and from Python: each fails
alone, with a clear message, and nothing is written outside the output
folder, nothing hangs past Ctrl-C, memory stays bounded and nothing aborts.
Grouped by what they attack: names, waits, amplification, crashes. The
containers' own readers are attacked in the C++ tests."""

from __future__ import annotations

import gzip
import io
import json
import os
import signal
import sqlite3
import subprocess
import sys
import tarfile
import time
import zipfile
from pathlib import Path

import pytest
from conftest import corpus_files
from test_archives import NEWER, build_database, event_lines, outputs, records
from test_cli import ENV, TIMEOUT, expected_events, lines, pairo_command, report_lines, with_default_sigint

import pairo
from pairo import _native

SANITIZED = "asan" in os.environ.get("LD_PRELOAD", "")

# ---- names ------------------------------------------------------------------


def victim_bundle(path: Path) -> None:
    """A container holding a record whose output, were the container's own
    name trusted, would replace victim/package.json beside the output folder."""
    record = records()[0]
    if path.suffix == ".zip":
        with zipfile.ZipFile(path, "w") as archive:
            archive.writestr("victim/package.mjlog", record)
    elif path.name.endswith(".tar.gz"):
        with tarfile.open(path, "w:gz") as tar:
            info = tarfile.TarInfo("victim/package.mjlog")
            info.size = len(record)
            tar.addfile(info, io.BytesIO(record))
    else:
        build_database(path, NEWER, [("2019021004gm-00a9-0000-e2f6516d", False, 1, 0, record)])


@pytest.mark.parametrize("name", ["...zip", "..zip", "...tar.gz", "...db", "..."])
def test_a_container_whose_name_makes_no_folder_fails_whole(tmp_path, name):
    work = tmp_path / "work"
    work.mkdir()
    victim = work / "victim" / "package.json"
    victim.parent.mkdir()
    victim.write_text("kept")
    victim_bundle(work / name)
    result = pairo_command(work / name, "-o", work / "out", "--to", "tenhou6")
    assert result.returncode == 1
    folder = name.removesuffix(".zip").removesuffix(".tar.gz").removesuffix(".db") if name != "..." else ".."
    assert report_lines(result) == [
        f'{work / name}: ArchiveError: unsafe container name: its output folder would be "{folder}"',
        "0 converted, 1 failed, 0 skipped",
    ]
    assert victim.read_text() == "kept"
    assert outputs(work) == {"victim/package.json": b"kept", name: (work / name).read_bytes()}


def test_an_output_folder_with_a_nul_is_refused_before_anything_is_written(tmp_path):
    log = corpus_files("real")[0]
    with pytest.raises(ValueError, match="embedded null byte"):
        pairo.convert_files([log], f"{tmp_path}/prefix\0/rest")
    assert list(tmp_path.iterdir()) == []


@pytest.mark.parametrize("length", [224, 241])
def test_a_member_named_at_the_file_name_limit_converts(tmp_path, length):
    record = records()[0]
    bundle = tmp_path / "names.zip"
    with zipfile.ZipFile(bundle, "w") as archive:
        archive.writestr("n" * length + ".mjlog", record)
    result = pairo_command(bundle, "-o", tmp_path / "out", "--gzip")
    assert report_lines(result) == ["1 converted, 0 failed, 0 skipped"]
    written = tmp_path / "out" / "names" / ("n" * length + ".mjai.jsonl.gz")
    assert gzip.decompress(written.read_bytes()) == event_lines(record)


def test_the_report_stays_utf8_json_and_gives_back_names_that_are_not(tmp_path):
    logs = tmp_path / "logs"
    logs.mkdir()
    bad = os.fsencode(logs) + b"/\xff\xfe-bad.json"
    with open(bad, "wb") as file:
        file.write(b"[]")
    (logs / "good.json").write_bytes(corpus_files("real")[0].read_bytes())
    report = tmp_path / "report.jsonl"
    result = pairo_command(logs, "-o", tmp_path / "out", "--report", report, "--report-all")
    assert result.returncode == 1
    assert report_lines(result)[-1] == "1 converted, 1 failed, 0 skipped"
    entries = [json.loads(line) for line in report.read_bytes().decode("utf-8").splitlines()]
    assert [entry["outcome"] for entry in entries] == ["converted", "failed"]  # "g" sorts before 0xff
    assert os.fsencode(entries[1]["name"]) == bad


# ---- waits ------------------------------------------------------------------


def test_a_fifo_in_a_folder_is_passed_over(tmp_path):
    logs = tmp_path / "logs"
    logs.mkdir()
    (logs / "a.json").write_bytes(corpus_files("real")[0].read_bytes())
    os.mkfifo(logs / "b.json")  # no writer will ever come
    result = pairo_command(logs, "-o", tmp_path / "out")
    assert report_lines(result) == ["1 converted, 0 failed, 0 skipped"]


def is_reading(process: subprocess.Popen, path: Path) -> bool:
    fds = Path(f"/proc/{process.pid}/fd")
    try:
        return any(os.readlink(fd) == str(path) for fd in fds.iterdir())
    except OSError:
        return False


@pytest.mark.parametrize("to_folder", [True, False], ids=["files", "stdout"])
def test_ctrl_c_stops_a_wait_on_a_fifo_that_has_no_writer(tmp_path, to_folder):
    fifo = tmp_path / "named.tar" if to_folder else tmp_path / "named.json"  # a bundle's name or a log's
    os.mkfifo(fifo)
    args = [sys.executable, "-m", "pairo", fifo, *(["-o", tmp_path / "out"] if to_folder else [])]
    process = subprocess.Popen(with_default_sigint(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=ENV)
    try:
        deadline = time.monotonic() + TIMEOUT
        while not is_reading(process, fifo) and process.poll() is None and time.monotonic() < deadline:
            time.sleep(0.01)
        process.send_signal(signal.SIGINT)
        _, stderr = process.communicate(timeout=TIMEOUT)
    finally:
        process.kill()
    assert process.returncode == 130, stderr.decode()


@pytest.mark.parametrize("how", ["/dev/stdin", "process substitution"])
def test_a_pipe_with_a_writer_is_read_named_or_not(tmp_path, how):
    log = corpus_files("real")[0]
    if how == "/dev/stdin":
        result = pairo_command("/dev/stdin", stdin=log.read_bytes())
    else:
        command = f'"{sys.executable}" -m pairo <(cat "{log}")'
        result = subprocess.run(["bash", "-c", command], capture_output=True, env=ENV, timeout=TIMEOUT)
    assert result.returncode == 0, result.stderr.decode()
    assert result.stdout == lines(expected_events(log))


# ---- amplification ----------------------------------------------------------


@pytest.mark.parametrize("to_folder", [True, False], ids=["files", "stdout"])
def test_standard_input_is_held_to_the_record_bound(tmp_path, to_folder):
    data = b" " * (_native.RECORD_LIMIT + 1)
    result = pairo_command("-", *(["-o", tmp_path / "out"] if to_folder else []), stdin=data)
    assert result.returncode == 1
    assert report_lines(result) == ["-: OSError: standard input is larger than 64 MiB", "0 converted, 1 failed, 0 skipped"]


def test_convert_files_keeps_no_failures_when_asked(tmp_path):
    logs = tmp_path / "logs"
    logs.mkdir()
    for index in range(3):
        (logs / f"{index}.json").write_bytes(b"[]")
    kept = pairo.convert_files([logs], tmp_path / "a")
    counted = pairo.convert_files([logs], tmp_path / "b", keep_failures=False)
    assert (kept.failed, len(kept.failures)) == (3, 3)
    assert (counted.failed, counted.failures) == (3, [])


# ---- crashes ----------------------------------------------------------------


def many_records_zip(path: Path, count: int) -> Path:
    record = records()[0]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for index in range(count):
            archive.writestr(f"{index}.mjlog", record)
    return path


def run_python(code: str, *args: str | Path) -> subprocess.CompletedProcess[bytes]:
    return subprocess.run(
        [sys.executable, "-c", code, *map(str, args)], capture_output=True, env=ENV, timeout=TIMEOUT
    )


def test_a_daemon_thread_iterating_a_container_at_exit_ends_quietly(tmp_path):
    bundle = many_records_zip(tmp_path / "many.zip", 400)
    code = (
        "import sys, threading, time, pairo\n"
        "def loop():\n"
        "    for _ in pairo.convert_archive(sys.argv[1], jobs=1): time.sleep(0.001)\n"
        "threading.Thread(target=loop, daemon=True).start()\n"
        "time.sleep(0.2)\n"
    )
    for _ in range(3):
        result = run_python(code, bundle)
        assert result.returncode == 0, result.stderr.decode()


def test_closing_the_records_from_another_thread_while_one_waits_does_not_crash(tmp_path):
    bundle = many_records_zip(tmp_path / "many.zip", 400)
    code = (
        "import sys, threading\n"
        "from pairo import _native\n"
        "for _ in range(20):\n"
        "    records = _native.open_archive(sys.argv[1], 1, 'mjai', None, None)\n"
        "    reader = threading.Thread(target=lambda: [None for _ in records])\n"
        "    reader.start()\n"
        "    records.close()\n"
        "    reader.join()\n"
        "print('ok')\n"
    )
    result = run_python(code, bundle)
    assert (result.returncode, result.stdout) == (0, b"ok\n"), result.stderr.decode()


@pytest.mark.skipif(SANITIZED, reason="the sanitizers reserve more address space than the limits tried")
def test_running_out_of_memory_reading_a_bundle_fails_a_record_never_the_process(tmp_path):
    big = tmp_path / "big.tar.gz"
    data = b" " * (60 << 20)
    with tarfile.open(big, "w:gz") as tar:
        info = tarfile.TarInfo("big.json")
        info.size = len(data)
        tar.addfile(info, io.BytesIO(data))
    statuses = set()
    for limit in (70, 80, 90, 100):
        result = subprocess.run(
            ["prlimit", f"--as={limit << 20}", sys.executable, "-m", "pairo", big, "-o", tmp_path / "out", "-j", "1"],
            capture_output=True,
            env=ENV,
            timeout=TIMEOUT,
        )
        stderr = result.stderr.decode()
        assert "terminate called" not in stderr and result.returncode in (1, 0), (limit, result.returncode, stderr)
        statuses.add(result.returncode)
    assert 1 in statuses  # at least one limit was low enough to be felt
