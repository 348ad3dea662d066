"""tenhou_file_to_mjai: path arguments, reading the log, the output lines and
every file failure."""

from __future__ import annotations

import json
import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest
from conftest import corpus_files, run_python

import _pairo

OPEN_PREFIX = "failed to open tenhou.net/6 log file "
CREATE_PREFIX = "failed to create mjai out file "
WRITE_FAILURE = "failed to write to mjai out file"
INVALID_UTF8 = "stream did not contain valid UTF-8"


@pytest.fixture(scope="module")
def real_log() -> Path:
    return corpus_files("real")[0]


@pytest.fixture
def in_tmp(tmp_path, monkeypatch) -> Path:
    """The test's own empty directory as the working directory, so that
    relative names appear in messages exactly as passed."""
    monkeypatch.chdir(tmp_path)
    return tmp_path


def expected_lines(log: Path) -> list[str]:
    return _pairo.tenhou_to_mjai(log.read_text(encoding="utf-8"))


def assert_message_only(error: BaseException, message: str) -> None:
    """A file failure carries its message as the only argument."""
    assert error.args == (message,)
    assert error.errno is None and error.strerror is None and error.filename is None
    assert error.__cause__ is None


class PathLike:
    def __init__(self, value):
        self.value = value

    def __fspath__(self):
        return self.value


class Text(str):
    pass


# ---- path arguments ------------------------------------------------------

WRONG_PATHS = [
    (b"log.json", "'bytes' object cannot be converted to 'PyString'"),
    (PathLike(b"log.json"), "'bytes' object cannot be converted to 'PyString'"),
    (bytearray(b"log.json"), "expected str, bytes or os.PathLike object, not bytearray"),
    (123, "expected str, bytes or os.PathLike object, not int"),
    (PathLike(123), "expected PathLike.__fspath__() to return str or bytes, not int"),
]


@pytest.mark.parametrize("value, underlying", WRONG_PATHS)
def test_wrong_filename_type(in_tmp, value, underlying):
    with pytest.raises(TypeError) as info:
        _pairo.tenhou_file_to_mjai(value)
    assert type(info.value) is TypeError
    assert str(info.value) == "argument 'filename': " + underlying


@pytest.mark.parametrize("value, underlying", WRONG_PATHS)
def test_wrong_mjai_out_type_is_found_before_the_input_is_opened(in_tmp, value, underlying):
    with pytest.raises(TypeError) as info:
        _pairo.tenhou_file_to_mjai("missing.json", value)
    assert type(info.value) is TypeError
    assert str(info.value) == "argument 'mjai_out': " + underlying


@pytest.mark.parametrize("keyword", [False, True])
def test_unencodable_path_raises_the_interpreters_encode_error(in_tmp, capfd, keyword):
    with pytest.raises(UnicodeEncodeError) as info:
        if keyword:
            _pairo.tenhou_file_to_mjai("missing.json", mjai_out="out\ud800")
        else:
            _pairo.tenhou_file_to_mjai("log\ud800.json")
    assert "\ud800" in info.value.object
    assert capfd.readouterr() == ("", "")
    assert os.listdir(in_tmp) == []


@pytest.mark.parametrize(
    "wrap",
    [str, Text, Path, PathLike, lambda p: PathLike(Text(p))],
    ids=["str", "str-subclass", "Path", "PathLike", "PathLike-str-subclass"],
)
def test_path_forms_are_accepted_for_both_arguments(in_tmp, real_log, wrap):
    shutil.copyfile(real_log, "log.json")
    result = _pairo.tenhou_file_to_mjai(wrap("log.json"), wrap("out.jsonl"))
    assert result == expected_lines(real_log)
    assert Path("out.jsonl").read_text(encoding="utf-8").splitlines() == result


# ---- opening and reading the input -----------------------------------------

@pytest.mark.parametrize(
    "name, quoted",
    [
        ("missing.json", "missing.json"),
        ('say "hi".json', 'say \\"hi\\".json'),
        ("it's.json", "it\\'s.json"),
        ("back\\slash", "back\\\\slash"),
        ("tab\there\r\n", "tab\\there\\r\\n"),
        ("nul\x00inside", "nul\\0inside"),
        ("esc\x1b del\x7f", "esc\\u{1b} del\\u{7f}"),
        ("e\u0301", "e\\u{301}"),  # combining acute accent (Mn)
        ("o\u20dd", "o\\u{20dd}"),  # combining enclosing circle (Me)
        ("\u09be", "\\u{9be}"),  # a spacing vowel sign that extends graphemes
        ("\u200b\u00a0\u2028\u2029\ue000\u0378", "\\u{200b}\\u{a0}\\u{2028}\\u{2029}\\u{e000}\\u{378}"),
        ("space é 日本 🀄", "space é 日本 🀄"),
        ("bad\udcff", "bad\\xFF"),
        ("\udce2\udc82A", "\\xE2\\x82A"),  # a cut-off sequence, then a letter
        ("\udced\udca0\udc80", "\\xED\\xA0\\x80"),  # an encoded surrogate
        ("\udcc0\udcaf", "\\xC0\\xAF"),  # an overlong form
    ],
)
def test_missing_input_names_the_file_in_quoted_form(in_tmp, name, quoted):
    with pytest.raises(FileNotFoundError) as info:
        _pairo.tenhou_file_to_mjai(name)
    assert type(info.value) is FileNotFoundError
    assert_message_only(info.value, OPEN_PREFIX + '"' + quoted + '"')


def test_directory_as_input_fails_to_read(in_tmp):
    with pytest.raises(OSError) as info:
        _pairo.tenhou_file_to_mjai(in_tmp)
    assert type(info.value) is OSError
    assert_message_only(info.value, "Is a directory (os error 21)")


@pytest.mark.parametrize(
    "content",
    [
        b'{"log": [], "name": ["\xff", "B", "C", "D"]}',
        b'{"name": "cut \xe6\x97"}',
        b'{"name": "surrogate \xed\xa0\x80"}',
        b'{"name": "overlong \xc0\xaf"}',
        b"\xe6\x97",  # cut off at the very end
    ],
)
def test_input_must_be_utf8(in_tmp, content):
    Path("log.json").write_bytes(content)
    with pytest.raises(OSError) as info:
        _pairo.tenhou_file_to_mjai("log.json", "out.jsonl")
    assert type(info.value) is OSError
    assert_message_only(info.value, INVALID_UTF8)
    assert not Path("out.jsonl").exists()


def test_empty_input_is_a_parse_failure(in_tmp):
    Path("log.json").write_bytes(b"")
    with pytest.raises(_pairo.JsonParsingError, match="^failed to parse tenhou.net/6 log$"):
        _pairo.tenhou_file_to_mjai("log.json")


def test_input_without_a_size_is_read_whole(in_tmp, real_log):
    """A pipe reports no size: the buffer grows until the end of the stream."""
    os.mkfifo("pipe")
    Path("source.json").write_bytes(real_log.read_bytes() + b" " * 20000)  # several growths
    # Another process writes: this one holds the interpreter lock while it reads.
    writer = subprocess.Popen(["sh", "-c", "cat source.json > pipe"])
    try:
        result = _pairo.tenhou_file_to_mjai("pipe")
    finally:
        assert writer.wait(timeout=60) == 0
    assert result == expected_lines(real_log)


# ---- conversion before output ------------------------------------------------

def broken_log() -> Path:
    return corpus_files("real-broken")[0]


@pytest.mark.parametrize(
    "source, error",
    [
        (lambda: b"not json", _pairo.JsonParsingError),
        (lambda: json.dumps({"log": [], "name": ["A", "B", "C"]}).encode(), _pairo.JsonParsingError),
        (lambda: broken_log().read_bytes(), _pairo.TenhouToMjaiError),
    ],
    ids=["text", "three-names", "real-broken"],
)
def test_failed_conversion_leaves_output_untouched(in_tmp, source, error):
    Path("log.json").write_bytes(source())
    Path("existing.jsonl").write_bytes(b"keep me\n")
    for out in ("existing.jsonl", "new.jsonl", "-"):
        with pytest.raises(error):
            _pairo.tenhou_file_to_mjai("log.json", out)
    assert Path("existing.jsonl").read_bytes() == b"keep me\n"
    assert sorted(os.listdir()) == ["existing.jsonl", "log.json"]


# ---- the output lines ------------------------------------------------------------

@pytest.fixture(params=[0, 1, 2])
def sim_log(request) -> Path:
    return corpus_files("sim")[request.param]


def test_output_file_holds_exactly_the_returned_lines(in_tmp, sim_log):
    truth = sim_log.with_name(sim_log.stem + ".truth.jsonl").read_bytes()
    Path("out.jsonl").write_bytes(b"a longer old content that must be truncated\n" * 1000)
    result = _pairo.tenhou_file_to_mjai(sim_log, "out.jsonl")
    written = Path("out.jsonl").read_bytes()
    assert written == truth
    assert written == "".join(line + "\n" for line in result).encode("utf-8")


def test_new_output_file_mode_follows_the_umask(in_tmp, real_log):
    old = os.umask(0o027)
    try:
        _pairo.tenhou_file_to_mjai(real_log, "out.jsonl")
    finally:
        os.umask(old)
    assert Path("out.jsonl").stat().st_mode & 0o777 == 0o640


def test_output_may_overwrite_the_input(in_tmp, real_log):
    shutil.copyfile(real_log, "log.json")
    result = _pairo.tenhou_file_to_mjai("log.json", "log.json")
    assert result == expected_lines(real_log)
    assert Path("log.json").read_text(encoding="utf-8") == "".join(line + "\n" for line in result)


@pytest.mark.parametrize("args", [(), (None,)], ids=["omitted", "None"])
def test_no_mjai_out_writes_nothing(in_tmp, capfd, real_log, args):
    assert _pairo.tenhou_file_to_mjai(real_log, *args) == expected_lines(real_log)
    assert os.listdir(in_tmp) == []
    assert capfd.readouterr() == ("", "")


@pytest.mark.parametrize(
    "out, displayed",
    [
        ("missing/out.jsonl", "missing/out.jsonl"),
        ("missing/\udcff\udce2\udc82x", "missing/\ufffd\ufffdx"),
        ("missing/\udcf0\udc9f\udc80", "missing/\ufffd"),
        ("missing/tab\t\"quote\"", "missing/tab\t\"quote\""),
        ("nul\x00inside", "nul\x00inside"),
    ],
)
def test_output_that_cannot_be_created(in_tmp, real_log, out, displayed):
    assert os.fsencode(out).decode("utf-8", errors="replace") == displayed
    with pytest.raises(OSError) as info:
        _pairo.tenhou_file_to_mjai(real_log, out)
    assert type(info.value) is OSError
    assert_message_only(info.value, CREATE_PREFIX + displayed)


def test_failed_write(real_log):
    with pytest.raises(OSError) as info:
        _pairo.tenhou_file_to_mjai(real_log, "/dev/full")
    assert type(info.value) is OSError
    assert_message_only(info.value, WRITE_FAILURE)


# ---- standard output ------------------------------------------------------------

def child_env() -> dict[str, str]:
    """The environment for a child started in another directory: the module
    found through absolute paths."""
    paths = [os.path.dirname(_pairo.__file__)]
    paths += [os.path.abspath(p) for p in os.environ.get("PYTHONPATH", "").split(os.pathsep) if p]
    return dict(os.environ, PYTHONPATH=os.pathsep.join(paths))


TO_STDOUT = """
import io, json, sys, _pairo
sys.stdout = io.StringIO()
result = _pairo.tenhou_file_to_mjai(sys.argv[1], sys.argv[2])
sys.stderr.write(json.dumps({"result": result, "captured": sys.stdout.getvalue()}))
"""


def run_to_stdout(log: Path, out: str, cwd: Path) -> tuple[subprocess.CompletedProcess[bytes], dict]:
    proc = subprocess.run(
        [sys.executable, "-c", TO_STDOUT, str(log), out], capture_output=True, timeout=120, cwd=cwd,
        env=child_env()
    )
    assert proc.returncode == 0, proc.stderr
    return proc, json.loads(proc.stderr)


@pytest.mark.parametrize("out", ["-", "-/", "-/.", "-//./"])
def test_dash_writes_to_descriptor_1(tmp_path, real_log, out):
    proc, report = run_to_stdout(real_log, out, tmp_path)
    assert report["result"] == expected_lines(real_log)
    assert report["captured"] == ""  # not through sys.stdout
    assert proc.stdout == "".join(line + "\n" for line in report["result"]).encode("utf-8")
    assert os.listdir(tmp_path) == []


@pytest.mark.parametrize("out, file", [("./-", "-"), ("-.", "-."), ("-..", "-.."), ("--", "--")])
def test_names_that_only_start_with_a_dash_are_files(tmp_path, real_log, out, file):
    proc, report = run_to_stdout(real_log, out, tmp_path)
    assert proc.stdout == b""
    assert (tmp_path / file).read_text(encoding="utf-8").splitlines() == report["result"]


def test_closed_descriptor_1_counts_as_written(real_log):
    code = (
        "import os, sys, _pairo\n"
        "os.close(1)\n"
        f"result = _pairo.tenhou_file_to_mjai({str(real_log)!r}, '-')\n"
        "sys.stderr.write(str(len(result)))\n"
    )
    proc = run_python(code)
    assert proc.returncode == 0, proc.stderr
    assert proc.stderr == str(len(expected_lines(real_log)))


# A full device, and a descriptor 1 that is open but for reading only (EBADF
# like a closed one).
@pytest.mark.parametrize("device, mode", [("/dev/full", "wb"), ("/dev/null", "rb")])
def test_other_failures_on_descriptor_1_are_reported(real_log, device, mode):
    code = (
        "import sys, _pairo\n"
        "try:\n"
        f"    _pairo.tenhou_file_to_mjai({str(real_log)!r}, '-')\n"
        "except OSError as e:\n"
        "    sys.stderr.write(repr((type(e).__name__, e.args, e.errno)))\n"
    )
    with open(device, mode) as stdout:
        proc = subprocess.run(
            [sys.executable, "-c", code], stdout=stdout, stderr=subprocess.PIPE, text=True, timeout=120,
            env=child_env(),
        )
    assert proc.returncode == 0, proc.stderr
    assert proc.stderr == repr(("OSError", (WRITE_FAILURE,), None))


# ---- descriptors ----------------------------------------------------------------

def test_no_descriptor_leaks(in_tmp, real_log):
    shutil.copyfile(real_log, "log.json")
    Path("bad.json").write_bytes(b'{"name": "\xff"}')
    Path("text.json").write_bytes(b"not json")
    calls = [
        lambda: _pairo.tenhou_file_to_mjai("log.json", "out.jsonl"),
        lambda: _pairo.tenhou_file_to_mjai("log.json", "missing/out.jsonl"),
        lambda: _pairo.tenhou_file_to_mjai("log.json", "/dev/full"),
        lambda: _pairo.tenhou_file_to_mjai("missing.json"),
        lambda: _pairo.tenhou_file_to_mjai(in_tmp),
        lambda: _pairo.tenhou_file_to_mjai("bad.json"),
        lambda: _pairo.tenhou_file_to_mjai("text.json", "out.jsonl"),
    ]
    before = len(os.listdir("/proc/self/fd"))
    outcomes = set()
    for _ in range(500):
        for call in calls:
            try:
                call()
                outcomes.add("ok")
            except (OSError, ValueError) as error:
                outcomes.add(type(error).__name__)
    assert len(os.listdir("/proc/self/fd")) == before
    assert outcomes == {"ok", "OSError", "FileNotFoundError", "JsonParsingError"}


def test_output_through_a_slow_pipe_arrives_whole(in_tmp):
    """A pipe takes a large output in many pieces while its reader drains it: every line arrives, whole and in order."""
    game = max(corpus_files("sim"), key=lambda path: path.stat().st_size)
    truth = game.with_name(game.stem + ".truth.jsonl").read_bytes()
    assert len(truth) > 65536  # more than a pipe holds at once
    os.mkfifo("pipe")
    # Another process reads slowly: this one holds the interpreter lock while it writes.
    reader = subprocess.Popen(
        [sys.executable, "-c",
         "import sys, time\n"
         "with open('pipe', 'rb') as f, open('copy', 'wb') as out:\n"
         "    while chunk := f.read(4093):\n"
         "        out.write(chunk); time.sleep(0.0005)\n"]
    )
    try:
        result = _pairo.tenhou_file_to_mjai(game, "pipe")
    finally:
        assert reader.wait(timeout=60) == 0
    assert Path("copy").read_bytes() == truth
    assert result == truth.decode("utf-8").split("\n")[:-1]
