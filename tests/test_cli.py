"""The `pairo` command, run as a separate process over collections of logs
built from the corpus, and the batch helpers behind it."""

from __future__ import annotations

import gzip
import os
import pty
import re
import resource
import shutil
import signal
import subprocess
import sys
import termios
import threading
import time
from contextlib import suppress
from dataclasses import dataclass
from pathlib import Path

import pytest
from conftest import corpus_files
from test_diagnose import UNMATCHED_PON

import _pairo
import pairo

CONVERT_FAILED = "TenhouToMjaiError: failed to convert tenhou.net/6 log to mjai"
PON_DETAIL = "round S2-1, seat 3: pon of 5m names seat 1, but the last discard was seat 2's 6m"

NOT_UTF8 = "stream did not contain valid UTF-8"
INVALID_GZIP = "invalid gzip data"
LATIN1_LOG = '{"log": [], "name": ["Jos\u00e9", "B", "C", "D"], "rule": {"disp": "", "aka": 0}}'.encode("latin-1")
# Where the real logs are copied in a collection, and whether gzipped.
COPIES = [("plain", False), ("plain/again", False), ("gz", True), ("gz/more/deep", True), ("mixed", False)]
# A process of the command never needs this long; a hang fails the test.
TIMEOUT = 300
# Command runs share one environment: the interpreter's own search path, so
# that `_pairo` and `pairo` import from a build tree as from a venv.
ENV = {**os.environ, "PYTHONPATH": os.pathsep.join(p for p in sys.path if p)}


def pairo_command(*args: str | Path, stdin: bytes = b"", **kwargs) -> subprocess.CompletedProcess[bytes]:
    return subprocess.run(
        [sys.executable, "-m", "pairo", *map(str, args)],
        input=stdin,
        capture_output=True,
        env=ENV,
        timeout=TIMEOUT,
        **kwargs,
    )


def lines(events: list[str]) -> bytes:
    return "".join(event + "\n" for event in events).encode("utf-8")


def report_lines(result: subprocess.CompletedProcess[bytes]) -> list[str]:
    return result.stderr.decode("utf-8").splitlines()


def expected_events(path: Path) -> list[str]:
    data = path.read_bytes()
    if path.name.endswith(".gz"):
        data = gzip.decompress(data)
    return _pairo.tenhou_to_mjai(data.decode("utf-8"))


def write_gz(path: Path, data: bytes) -> None:
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(gzip.compress(data))


def leftovers(folder: Path) -> list[Path]:
    """Temporary files: anything in the output that is not an output file."""
    return [p for p in folder.rglob("*") if p.is_file() and not p.name.endswith((".mjai.jsonl", ".mjai.jsonl.gz"))]


@dataclass
class Collection:
    """A folder of logs and what the command must make of each: the output
    file's place and events for a good log, the report line for a bad one."""

    root: Path
    good: dict[Path, list[str]]  # output path relative to OUTDIR -> events
    bad: dict[str, str]  # reported name -> "ExceptionClass: message"

    def report(self, name: str) -> str:
        return f"{name}: {self.bad[name]}"


def failure(call, expected_class: type[BaseException]) -> str:
    with pytest.raises(expected_class) as info:
        call()
    return f"{type(info.value).__name__}: {info.value}"


def conversion_failure(text: str, expected_class: type[BaseException]) -> str:
    """The report of a log text that does not convert: the class and fixed
    message of the module, then why, as pairo.diagnose tells it."""
    diagnosis = pairo.diagnose(text)
    assert diagnosis is not None
    return f"{failure(lambda: _pairo.tenhou_to_mjai(text), expected_class)} ({diagnosis.detail})"


def build_collection(root: Path) -> Collection:
    real = corpus_files("real")
    good: dict[Path, list[str]] = {}
    for folder, gzipped in COPIES:
        (root / folder).mkdir(parents=True)
        for log in real:
            events = _pairo.tenhou_to_mjai(log.read_text(encoding="utf-8"))
            if gzipped:
                write_gz(root / folder / (log.name + ".gz"), log.read_bytes())
            else:
                shutil.copyfile(log, root / folder / log.name)
            good[Path(folder, log.stem + ".mjai.jsonl")] = events
    bad: dict[str, str] = {}
    for folder, cls in (("real-broken", _pairo.TenhouToMjaiError), ("real3p", _pairo.JsonParsingError)):
        for log in corpus_files(folder):
            target = root / "mixed" / log.name
            shutil.copyfile(log, target)
            bad[str(target)] = conversion_failure(log.read_text(encoding="utf-8"), cls)
    odd = root / "odd"
    write_gz(odd / "latin1.json.gz", LATIN1_LOG)
    (odd / "latin1-plain.json").write_bytes(LATIN1_LOG)
    (odd / "not-a-log.json").write_text("these are my notes")
    write_gz(odd / "truncated.json.gz", real[0].read_bytes())
    (odd / "truncated.json.gz").write_bytes((odd / "truncated.json.gz").read_bytes()[:200])
    bad[str(odd / "latin1.json.gz")] = f"OSError: {NOT_UTF8}"
    bad[str(odd / "latin1-plain.json")] = f"OSError: {NOT_UTF8}"
    bad[str(odd / "not-a-log.json")] = conversion_failure("these are my notes", _pairo.JsonParsingError)
    bad[str(odd / "truncated.json.gz")] = f"OSError: {INVALID_GZIP}"
    # Not logs: never picked up from a folder.
    (odd / "README.txt").write_text("not a log")
    (odd / "0001.truth.jsonl").write_text("{}\n")
    return Collection(root, good, bad)


@pytest.fixture(scope="module")
def collection(tmp_path_factory: pytest.TempPathFactory) -> Collection:
    return build_collection(tmp_path_factory.mktemp("collection"))


@pytest.fixture(scope="module")
def batch_runs(collection: Collection, tmp_path_factory: pytest.TempPathFactory):
    """The whole collection converted with one and with two jobs."""
    runs = {}
    for jobs in (1, 2):
        out = tmp_path_factory.mktemp(f"out-j{jobs}")
        runs[jobs] = (out, pairo_command(collection.root, "-o", out, "-j", jobs))
    return runs


def output_files(out: Path) -> dict[Path, bytes]:
    return {p.relative_to(out): p.read_bytes() for p in sorted(out.rglob("*")) if p.is_file()}


@pytest.mark.parametrize("jobs", [1, 2])
def test_collection_converts_good_logs_and_reports_bad_ones(collection, batch_runs, jobs):
    out, result = batch_runs[jobs]
    assert result.returncode == 1, result.stderr
    assert result.stdout == b""
    files = output_files(out)
    assert sorted(files) == sorted(collection.good)
    for relative, events in collection.good.items():
        assert files[relative] == lines(events), relative
    # Reports come in input order: sorted paths within the folder.
    expected = [collection.report(name) for name in sorted(collection.bad, key=lambda n: Path(n).parts)]
    expected.append(f"{len(collection.good)} converted, {len(collection.bad)} failed, 0 skipped")
    assert report_lines(result) == expected


def test_one_and_two_jobs_give_the_same_files_and_reports(batch_runs):
    (out1, run1), (out2, run2) = batch_runs[1], batch_runs[2]
    assert output_files(out1) == output_files(out2)
    assert run1.stderr == run2.stderr


def test_rerun_with_skip_existing_converts_nothing_new(collection, batch_runs):
    out, _ = batch_runs[1]
    before = {p: p.stat().st_mtime_ns for p in out.rglob("*")}
    result = pairo_command(collection.root, "-o", out, "--skip-existing", "-j", "2")
    assert result.returncode == 1
    assert {p: p.stat().st_mtime_ns for p in out.rglob("*")} == before
    # The failed logs have no output, so they are tried, and fail, again.
    assert report_lines(result)[-1] == (
        f"0 converted, {len(collection.bad)} failed, {len(collection.good)} skipped ({len(collection.good)} existing)"
    )
    assert len(report_lines(result)) == len(collection.bad) + 1


def test_skip_existing_converts_what_is_missing(tmp_path):
    logs = corpus_files("real")[:6]
    out = tmp_path / "out"
    out.mkdir()
    (out / logs[2].with_suffix(".mjai.jsonl").name).write_text("kept\n")
    result = pairo_command(*logs, "-o", out, "--skip-existing")
    assert result.returncode == 0
    assert report_lines(result) == ["5 converted, 0 failed, 1 skipped (1 existing)"]
    assert (out / logs[2].with_suffix(".mjai.jsonl").name).read_text() == "kept\n"
    for log in logs[:2] + logs[3:]:
        assert (out / log.with_suffix(".mjai.jsonl").name).read_bytes() == lines(expected_events(log))


@pytest.mark.parametrize("jobs", [1, 2])
def test_gzip_output(tmp_path, jobs):
    logs = corpus_files("real")
    out = tmp_path / "out"
    result = pairo_command(logs[0].parent, "-o", out, "--gzip", "-j", jobs, "-q")
    assert result.returncode == 0, result.stderr
    assert result.stderr == b""
    assert sorted(p.name for p in out.iterdir()) == sorted(log.stem + ".mjai.jsonl.gz" for log in logs)
    for log in logs:
        assert gzip.decompress((out / (log.stem + ".mjai.jsonl.gz")).read_bytes()) == lines(expected_events(log))


def test_plain_file_inputs_go_directly_under_the_output_folder(tmp_path):
    logs = corpus_files("real")[:2]
    gz = tmp_path / "in" / "nested" / "x.json.gz"
    write_gz(gz, logs[1].read_bytes())
    result = pairo_command(logs[0], gz, "-o", tmp_path / "out")
    assert result.returncode == 0, result.stderr
    assert output_files(tmp_path / "out") == {
        Path(logs[0].stem + ".mjai.jsonl"): lines(expected_events(logs[0])),
        Path("x.mjai.jsonl"): lines(expected_events(logs[1])),
    }


@pytest.mark.parametrize("form", ["plain file", "gzipped file", "folder of one", "stdin", "gzipped stdin"])
def test_single_log_goes_to_standard_output(tmp_path, form):
    log = corpus_files("real")[0]
    folder = tmp_path / "one"
    folder.mkdir()
    data = log.read_bytes()
    stdin = b""
    if form == "plain file":
        arg = log
    elif form == "gzipped file":
        arg = tmp_path / "log.json.gz"
        write_gz(arg, data)
    elif form == "folder of one":
        shutil.copyfile(log, folder / "only.json")
        arg = folder
    else:
        arg, stdin = "-", gzip.compress(data) if form == "gzipped stdin" else data
    result = pairo_command(arg, stdin=stdin)
    assert result.returncode == 0, result.stderr
    assert result.stdout == lines(expected_events(log))
    assert report_lines(result) == ["1 converted, 0 failed, 0 skipped"]


@pytest.mark.parametrize("gzipped", [False, True])
def test_standard_input_with_output_folder(tmp_path, gzipped):
    log = corpus_files("real")[0]
    result = pairo_command("-", "-o", tmp_path, *(["--gzip"] if gzipped else []), stdin=log.read_bytes())
    assert result.returncode == 0, result.stderr
    written = (tmp_path / ("stdin.mjai.jsonl.gz" if gzipped else "stdin.mjai.jsonl")).read_bytes()
    assert (gzip.decompress(written) if gzipped else written) == lines(expected_events(log))


@pytest.mark.parametrize(
    "make_input, report",
    [
        (lambda d: d / "missing.json", 'FileNotFoundError: failed to open tenhou.net/6 log file "PATH"'),
        (lambda d: _put(d / "latin1.json", LATIN1_LOG), f"OSError: {NOT_UTF8}"),
        (lambda d: _put(d / "latin1.json.gz", gzip.compress(LATIN1_LOG)), f"OSError: {NOT_UTF8}"),
        # Told by content, not by name: no gzip magic, so read as JSON.
        (lambda d: _put(d / "fake.json.gz", b"[]"), "JsonParsingError: failed to parse tenhou.net/6 log (DETAIL)"),
        (lambda d: _put(d / "cut.json.gz", gzip.compress(b"{}")[:-3]), f"OSError: {INVALID_GZIP}"),
        # A failed conversion ends with why it failed, from a plain file and a gzipped one.
        (lambda d: _put(d / "a.json", UNMATCHED_PON.encode()), f"{CONVERT_FAILED} ({PON_DETAIL})"),
        (lambda d: _put(d / "a.json.gz", gzip.compress(UNMATCHED_PON.encode())), f"{CONVERT_FAILED} ({PON_DETAIL})"),
    ],
)
def test_single_bad_log_is_reported_and_nothing_printed(tmp_path, make_input, report):
    path = make_input(tmp_path)
    result = pairo_command(path)
    assert result.returncode == 1
    assert result.stdout == b""
    detail = pairo.diagnose("[]")
    assert detail is not None
    report = report.replace("PATH", str(path)).replace("DETAIL", detail.detail)
    assert report_lines(result) == [f"{path}: {report}", "0 converted, 1 failed, 0 skipped"]


def test_failure_from_standard_input_ends_with_its_detail():
    result = pairo_command("-", stdin=UNMATCHED_PON.encode())
    assert result.returncode == 1
    assert report_lines(result) == [f"-: {CONVERT_FAILED} ({PON_DETAIL})", "0 converted, 1 failed, 0 skipped"]


def _put(path: Path, data: bytes) -> Path:
    path.write_bytes(data)
    return path


@pytest.mark.parametrize(
    "args, message",
    [
        ([], "the following arguments are required: INPUT"),
        (["{real}"], "59 logs found: several logs need an output folder (-o OUTDIR)"),
        (["{log}", "{log}"], "2 logs found: several logs need an output folder (-o OUTDIR)"),
        (["{log}", "--gzip"], "--gzip needs an output folder (-o OUTDIR)"),
        (["{log}", "--skip-existing"], "--skip-existing needs an output folder (-o OUTDIR)"),
        (["{log}", "-o", "{out}", "-j", "0"], "argument -j/--jobs: must be at least 1, not 0"),
        (["{log}", "-o", "{out}", "-j", "two"], "argument -j/--jobs: invalid int value: 'two'"),
        (["{log}", "--frobnicate"], "unrecognized arguments: --frobnicate"),
    ],
)
def test_usage_errors(tmp_path, args, message):
    log = corpus_files("real")[0]
    names = {"real": log.parent, "log": log, "out": tmp_path / "out", "name": log.name, "stem": log.stem}
    result = pairo_command(*(arg.format(**names) for arg in args))
    assert result.returncode == 2
    assert result.stdout == b""
    stderr = report_lines(result)
    assert stderr[0].startswith("usage: pairo ")
    assert stderr[-1] == f"pairo: error: {message.format(**names)}"
    assert not (tmp_path / "out").exists()


def test_log_bound_for_an_earlier_logs_output_fails(tmp_path):
    log = corpus_files("real")[0]
    (tmp_path / "in").mkdir()
    write_gz(tmp_path / "in" / (log.name + ".gz"), log.read_bytes())
    shutil.copyfile(log, tmp_path / "in" / log.name)
    out = tmp_path / "out"
    result = pairo_command(tmp_path / "in", log, "-o", out)
    assert result.returncode == 1
    target = out / (log.stem + ".mjai.jsonl")
    first = tmp_path / "in" / log.name
    assert report_lines(result) == [
        f"{tmp_path / 'in' / log.name}.gz: FileExistsError: {target} is also the output of {first}",
        f"{log}: FileExistsError: {target} is also the output of {first}",
        "1 converted, 2 failed, 0 skipped",
    ]
    assert output_files(out) == {Path(target.name): lines(expected_events(log))}


@pytest.mark.parametrize("jobs", [1, 2])
def test_output_folder_that_cannot_be_created(tmp_path, jobs):
    """A file where a log's output folder should be: that folder's logs fail,
    the others are converted, and no temporary file is left."""
    source = tmp_path / "in"
    logs = corpus_files("real")[:4]
    for sub in ("a", "b"):
        (source / sub).mkdir(parents=True)
        for log in logs:
            shutil.copyfile(log, source / sub / log.name)
    out = tmp_path / "out"
    out.mkdir()
    (out / "b").write_text("a file in the folder's place")
    result = pairo_command(source, "-o", out, "-j", jobs)
    assert result.returncode == 1
    assert report_lines(result) == [
        *(f"{source / 'b' / log.name}: FileExistsError: [Errno 17] File exists: '{out / 'b'}'" for log in logs),
        "4 converted, 4 failed, 0 skipped",
    ]
    assert output_files(out) == {
        Path("b"): b"a file in the folder's place",
        **{Path("a", log.stem + ".mjai.jsonl"): lines(expected_events(log)) for log in logs},
    }


@pytest.mark.parametrize("jobs", [1, 2])
def test_write_failure_leaves_no_partial_file(tmp_path, jobs):
    """A file-size limit makes large outputs fail halfway through, as a full
    disk would: those logs are reported, an existing output is kept as it
    was, and no temporary or truncated file remains."""
    logs = corpus_files("real")
    sizes = {log: len(lines(expected_events(log))) for log in logs}
    limit = sorted(sizes.values())[len(sizes) // 2]
    large = [log for log in logs if sizes[log] > limit]
    out = tmp_path / "out"
    out.mkdir()
    kept = out / (large[0].stem + ".mjai.jsonl")
    kept.write_text("the previous conversion\n")

    def limit_file_size() -> None:
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)

    result = pairo_command(logs[0].parent, "-o", out, "-j", jobs, preexec_fn=limit_file_size)
    assert result.returncode == 1
    assert report_lines(result) == [
        *(f"{log}: OSError: [Errno 27] File too large" for log in large),
        f"{len(logs) - len(large)} converted, {len(large)} failed, 0 skipped",
    ]
    assert kept.read_text() == "the previous conversion\n"
    assert output_files(out) == {
        Path(kept.name): b"the previous conversion\n",
        **{Path(log.stem + ".mjai.jsonl"): lines(expected_events(log)) for log in logs if log not in large},
    }


@pytest.mark.parametrize("jobs", [1, 2])
def test_fail_fast_stops_at_the_first_failure(tmp_path, jobs):
    source = tmp_path / "in"
    source.mkdir()
    logs = corpus_files("real")[:30]
    for index, log in enumerate(logs):
        shutil.copyfile(log, source / f"{index:02}.json")
    (source / "05.json").write_text("not a log")
    out = tmp_path / "out"
    result = pairo_command(source, "-o", out, "-j", jobs, "--fail-fast")
    assert result.returncode == 1
    assert report_lines(result) == [
        f"{source / '05.json'}: {conversion_failure('not a log', _pairo.JsonParsingError)}",
        "5 converted, 1 failed, 0 skipped",
    ]
    written = output_files(out)
    if jobs == 1:
        assert len(written) == 5
    for index in range(5):
        assert written[Path(f"{index:02}.mjai.jsonl")] == lines(expected_events(logs[index]))
    # Workers may have finished logs after the failure; what they wrote is whole.
    assert Path("05.mjai.jsonl") not in written
    assert leftovers(out) == []
    for name, data in written.items():
        assert data == lines(expected_events(logs[int(name.name[:2])]))


@pytest.mark.parametrize("jobs", [1, 2])
def test_interruption_keeps_finished_files_and_exits_130(tmp_path, jobs):
    """Ctrl-C while a log is being read: the conversions under way end, the
    summary is printed, and every file written is whole."""
    source = tmp_path / "in"
    source.mkdir()
    logs = corpus_files("real")[:6]
    for index, log in enumerate(logs):
        shutil.copyfile(log, source / f"{index}.json")
    fifo = tmp_path / "waits.json"  # named after the folder: read once its logs are done
    os.mkfifo(fifo)
    out = tmp_path / "out"
    process = subprocess.Popen(
        with_default_sigint([sys.executable, "-m", "pairo", source, fifo, "-o", out, "-j", str(jobs)]),
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        env=ENV,
    )
    try:
        writer = _open_when_read(fifo, process)
        process.send_signal(signal.SIGINT)
        time.sleep(0.2)  # the interruption is noted while the log is still awaited
        with suppress(BrokenPipeError):  # the reading may have ended with the interruption
            os.write(writer, b"{}")
        os.close(writer)
        stdout, stderr = process.communicate(timeout=TIMEOUT)
    finally:
        process.kill()
    assert process.returncode == 130
    assert stdout == b""
    # What was counted depends on the moment the interruption is noticed
    # (workers may have written files not yet reported); the files do not.
    interrupted, summary = stderr.decode().splitlines()[-2:]
    print(stderr.decode())
    assert interrupted == "interrupted"
    assert re.fullmatch(r"\d converted, [01] failed, 0 skipped", summary)
    assert output_files(out) == {Path(f"{i}.mjai.jsonl"): lines(expected_events(log)) for i, log in enumerate(logs)}


def with_default_sigint(argv: list[str | Path]) -> list[str | Path]:
    """`argv` run with SIGINT at its default disposition. A shell starts a
    background job, and nohup its command, with SIGINT ignored, which the
    command rightly keeps to; a Ctrl-C test must not inherit that. The
    wrapper execs in place, so the signal reaches the command's own process."""
    reset = "import os, signal, sys; signal.signal(signal.SIGINT, signal.SIG_DFL); os.execv(sys.argv[1], sys.argv[1:])"
    return [sys.executable, "-c", reset, *argv]


def _open_when_read(fifo: Path, process: subprocess.Popen) -> int:
    """The writing end of `fifo`, once the command has opened it to read."""
    deadline = time.monotonic() + TIMEOUT
    while time.monotonic() < deadline and process.poll() is None:
        try:
            return os.open(fifo, os.O_WRONLY | os.O_NONBLOCK)
        except OSError:  # no reader yet
            time.sleep(0.01)
    pytest.fail(f"the command never read {fifo} (exit status {process.returncode})")


@pytest.mark.parametrize("quiet", [False, True])
def test_progress_bar_only_on_a_terminal(tmp_path, quiet):
    logs = corpus_files("real")
    leader, follower = pty.openpty()
    termios.tcsetwinsize(follower, (24, 100))  # a terminal of no size gets no bar
    args = [sys.executable, "-m", "pairo", logs[0].parent, "-o", tmp_path, *(["-q"] if quiet else [])]
    process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=follower, env=ENV)
    os.close(follower)
    chunks: list[bytes] = []
    reader = threading.Thread(target=_drain, args=(leader, chunks))
    reader.start()
    process.communicate(timeout=TIMEOUT)
    reader.join(TIMEOUT)
    os.close(leader)
    terminal = b"".join(chunks).decode()
    assert process.returncode == 0
    if quiet:
        assert terminal == ""
    else:
        assert f"{len(logs)}/{len(logs)}" in terminal
        assert terminal.rstrip().endswith(f"{len(logs)} converted, 0 failed, 0 skipped")


def _drain(fd: int, chunks: list[bytes]) -> None:
    while True:
        try:
            chunk = os.read(fd, 4096)
        except OSError:  # the terminal's other end is closed
            return
        if not chunk:
            return
        chunks.append(chunk)


def test_quiet_still_reports_failures(tmp_path):
    bad = _put(tmp_path / "bad.json", b"[]")
    result = pairo_command(corpus_files("real")[0], bad, "-o", tmp_path / "out", "-q")
    assert result.returncode == 1
    assert report_lines(result) == [
        f"{bad}: {conversion_failure('[]', _pairo.JsonParsingError)}"
    ]


# The Python helpers.


def test_package_exports_the_helpers_after_the_module_names():
    assert pairo.__all__ == [
        *_pairo.__all__,
        *("convert_path", "convert_many", "diagnose", "Diagnosis"),
        *("mjlog_to_mjai", "mjlog_to_tenhou6", "convert_files", "ConvertSummary", "MjlogParsingError"),
        *("ArchiveError", "convert_archive", "Converted", "Skipped", "SKIP_REASONS", "seat_view"),
        *("validate_mjai", "InvalidStream", "StreamWarning", "CHECKS"),
    ]
    assert _pairo.__all__ == pairo.__all__[:8]


@pytest.mark.parametrize("gzipped", [False, True])
def test_convert_path(tmp_path, gzipped):
    log = corpus_files("real")[0]
    path = tmp_path / ("log.json.gz" if gzipped else "log.json")
    path.write_bytes(gzip.compress(log.read_bytes()) if gzipped else log.read_bytes())
    assert pairo.convert_path(path) == expected_events(log)
    assert pairo.convert_path(str(path)) == expected_events(log)


@pytest.mark.parametrize("gzipped", [False, True])
def test_convert_path_refuses_text_that_is_not_utf8(tmp_path, gzipped):
    path = tmp_path / ("log.json.gz" if gzipped else "log.json")
    path.write_bytes(gzip.compress(LATIN1_LOG) if gzipped else LATIN1_LOG)
    with pytest.raises(OSError) as info:
        pairo.convert_path(path)
    assert type(info.value) is OSError
    assert info.value.args == (NOT_UTF8,)
    assert info.value.__cause__ is None


@pytest.mark.parametrize("jobs", [1, 2])
def test_convert_many_yields_results_in_order(collection, jobs):
    paths = sorted(p for p in collection.root.rglob("*.json*") if not p.name.endswith(".truth.jsonl"))
    results = list(pairo.convert_many(iter(paths), jobs=jobs))
    assert [path for path, _ in results] == paths
    for path, result in results:
        if str(path) in collection.bad:
            assert isinstance(result, BaseException)
            notes = "; ".join(getattr(result, "__notes__", []))
            assert f"{type(result).__name__}: {result}{f' ({notes})' if notes else ''}" == collection.bad[str(path)]
        else:
            assert result == expected_events(path)


def test_convert_many_refuses_zero_jobs():
    with pytest.raises(ValueError, match="jobs must be at least 1, not 0"):
        next(pairo.convert_many([], jobs=0))


def test_version_names_the_module_version():
    import _pairo

    result = pairo_command("--version")
    assert result.returncode == 0
    assert result.stdout.decode().strip() == f"pairo {_pairo.__version__}"
