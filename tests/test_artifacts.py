"""The release artefacts in dist/ that scripts/build-wheels.sh builds (run
with `pytest -m artifacts`, the packaging tools' venv on PATH): each wheel
holds modules of its architecture that need nothing outside its manylinux
tag's policy, and each wheel this machine can run installs into a fresh
venv and converts the sample, alone and held in a database and in bundles,
with the system's copies of the libraries pairo reads through (and of the
C++ runtime) hidden. The script builds every wheel from the sdist, so these
tests are the sdist's too."""

from __future__ import annotations

import bz2
import gzip
import io
import json
import os
import sqlite3
import subprocess
import sys
import tarfile
import zipfile
from functools import cache
from pathlib import Path

import pytest
from conftest import REPO

pytestmark = pytest.mark.artifacts

DIST = REPO / "dist"
RAW = REPO / "build" / "wheels-raw"  # the wheels as built, before auditwheel
SAMPLE = REPO / "examples" / "sample.json"
EXPECTED = (REPO / "examples" / "sample.mjai.jsonl").read_text().splitlines()
CONVERT_PATH = "import sys, pairo; print(*pairo.convert_path(sys.argv[1]), sep='\\n')"
WHEEL_LIMIT = 3 << 20  # bytes
ELF_MACHINES = {62: "x86_64", 183: "aarch64"}
# The release's wheels are built with Zig against glibc 2.17's symbols, the
# C++ runtime inside them; the test run's (PAIRO_WHEELS=host) by the
# machine's compiler, under whatever tag auditwheel proves, taking the
# system's libstdc++ as the manylinux policies allow.
RELEASE = os.environ.get("PAIRO_WHEELS", "all") != "host"
# The system's libraries a build could take the place of its own copies with:
# those pairo reads through, and (for the release's wheels) the C++ runtime.
SYSTEM_LIBRARIES = ("libsqlite3", "libbz2", "liblzma", "libz", "libdeflate", "libpugixml", "libsimdjson") + (
    ("libstdc++",) if RELEASE else ()
)
GAME_ID = "2019021004gm-00a9-0000-e2f6516d"


def wheels(folder: Path) -> list[Path]:
    return sorted(folder.glob("pairo-*.whl"))


def python_tag(wheel: Path) -> str:
    return wheel.name.split("-")[2]  # "cp312"


def tags(wheel: Path) -> str:
    """Its interpreter, ABI and architecture, as built and as repaired alike."""
    python, abi = wheel.name.split("-")[2:4]
    return f"{python}-{abi}-{arch(wheel)}"


def arch(wheel: Path) -> str:
    return "aarch64" if "aarch64" in wheel.name else "x86_64"


def is_abi3(wheel: Path) -> bool:
    return wheel.name.split("-")[3] == "abi3"


def runnable(wheel: Path) -> bool:
    return arch(wheel) == os.uname().machine


def interpreters(wheel: Path) -> list[str]:
    """The CPythons here that install the wheel: its own version's, or every
    one for an abi3 wheel."""
    if is_abi3(wheel):
        return sorted(pythons())
    return [python_tag(wheel)] if python_tag(wheel) in pythons() else []


def auditwheel_show(wheel: Path) -> dict:
    shown = subprocess.run(["auditwheel", "show", "--json", wheel], capture_output=True, text=True, check=True)
    return json.loads(shown.stdout)


@cache
def pythons() -> dict[str, str]:
    """The interpreter for each python tag, found as the set-up finds them."""
    found = subprocess.run(
        ["bash", "-c", ". scripts/find-python.sh && find_pythons"], cwd=REPO, capture_output=True, text=True, check=True
    )
    entries = (line.split(" ", 1) for line in found.stdout.splitlines())
    return {"cp" + minor.replace(".", ""): exe for minor, exe in entries}


def fresh_venv(where: Path, wheel: Path, python: str) -> Path:
    """A new venv of the CPython `python` names ("cp313") holding the wheel,
    its dependencies taken from the index."""
    subprocess.run([pythons()[python], "-m", "venv", where], check=True)
    pip = [where / "bin" / "python", "-m", "pip", "install", "-q", "--disable-pip-version-check"]
    subprocess.run([*pip, wheel], check=True)
    return where


def conversions(venv: Path) -> list[list[str | Path]]:
    """The sample converted through the package's function and the command."""
    return [[venv / "bin" / "python", "-c", CONVERT_PATH, SAMPLE], [venv / "bin" / "pairo", "-q", SAMPLE]]


def containers(folder: Path) -> dict[str, Path]:
    """The sample as a row of a downloader's database (bzip2, the older
    layout) and as a member of an xz tar and a zip bundle (gzipped there),
    by the folder its output goes to: every compression a container meets."""
    log = SAMPLE.read_bytes()
    database = folder / "logs.db"
    db = sqlite3.connect(database)
    db.execute(
        "CREATE TABLE logs(log_id TEXT PRIMARY KEY, is_sanma INT, is_processed INT, was_error INT, log_content TEXT)"
    )
    db.execute("INSERT INTO logs VALUES(?, 0, 1, 0, ?)", (GAME_ID, bz2.compress(log)))
    db.commit()
    db.close()
    tar_bundle = folder / "tarred.tar.xz"
    with tarfile.open(tar_bundle, "w:xz") as tar:
        member = tarfile.TarInfo(f"{GAME_ID}.json.gz")
        data = gzip.compress(log)
        member.size = len(data)
        tar.addfile(member, io.BytesIO(data))
    zip_bundle = folder / "zipped.zip"
    with zipfile.ZipFile(zip_bundle, "w", zipfile.ZIP_DEFLATED) as archive:
        archive.writestr(f"{GAME_ID}.json", log)
    return {"logs": database, "tarred": tar_bundle, "zipped": zip_bundle}


def hidden(libraries: list[str], argv: list[str | Path]) -> subprocess.CompletedProcess[str]:
    """Runs argv in a private mount namespace where each library file reads as empty."""
    script = 'for lib in $PAIRO_HIDDEN; do mount --bind /dev/null "$lib" || exit 99; done; exec "$@"'
    env = {**os.environ, "PAIRO_HIDDEN": " ".join(libraries)}
    return subprocess.run(
        ["unshare", "-m", "sh", "-c", script, "sh", *argv], env=env, capture_output=True, text=True, timeout=120
    )


@pytest.fixture(scope="session")
def system_libraries() -> list[str]:
    """The files of this machine's copies of SYSTEM_LIBRARIES."""
    listed = subprocess.run(["/sbin/ldconfig", "-p"], capture_output=True, text=True, check=True).stdout
    found = {
        os.path.realpath(line.rsplit(" => ", 1)[1])
        for line in listed.splitlines()
        if " => " in line and line.split()[0].split(".so")[0] in SYSTEM_LIBRARIES
    }
    assert found, "ldconfig lists none of the libraries to hide"
    return sorted(found)


def modules(wheel: Path) -> dict[str, bytes]:
    with zipfile.ZipFile(wheel) as archive:
        return {name: archive.read(name) for name in archive.namelist() if name.endswith(".so")}


def test_dist_holds_the_sdist_and_a_repaired_wheel_per_build():
    assert len(list(DIST.glob("pairo-*.tar.gz"))) == 1
    assert [tags(w) for w in wheels(DIST)] == [tags(w) for w in wheels(RAW)] != []
    assert any(is_abi3(w) for w in wheels(DIST))


@pytest.mark.parametrize("wheel", wheels(DIST), ids=lambda w: w.name)
def test_wheel_is_small_and_needs_no_library_outside_its_policy(wheel):
    assert wheel.stat().st_size <= WHEEL_LIMIT
    shown = auditwheel_show(wheel)
    assert shown["external_libs"] == {}
    assert shown["overall_tag"] == f"manylinux_2_17_{arch(wheel)}" or not RELEASE
    assert shown["overall_tag"].startswith("manylinux_")
    assert shown["overall_tag"] in wheel.name.removesuffix(".whl").split("-")[4].split(".")
    built = modules(wheel)
    suffix = ".abi3.so" if is_abi3(wheel) else f"-{arch(wheel)}-linux-gnu.so"
    assert sorted(name.split(".")[0] for name in built) == ["_pairo", "pairo/_native"]
    for name, image in built.items():
        assert name.endswith(suffix)
        assert ELF_MACHINES.get(int.from_bytes(image[18:20], "little")) == arch(wheel), name


@pytest.mark.skipif(os.geteuid() != 0, reason="hiding the system's libraries takes root (unshare -m, mount)")
@pytest.mark.parametrize(
    ("wheel", "python"),
    [(wheel, python) for wheel in wheels(DIST) if runnable(wheel) for python in interpreters(wheel)],
    ids=lambda value: value.name if isinstance(value, Path) else value,
)
def test_wheel_converts_with_the_system_libraries_hidden(wheel, python, system_libraries, tmp_path):
    venv = fresh_venv(tmp_path / "venv", wheel, python)
    # The hiding takes hold: SQLite's library no longer loads.
    plain = hidden(system_libraries, [sys.executable, "-c", "import ctypes; ctypes.CDLL('libsqlite3.so.0')"])
    assert plain.returncode == 1 and "OSError" in plain.stderr, plain.stderr
    for argv in conversions(venv):
        result = hidden(system_libraries, argv)
        assert result.returncode == 0, result.stderr
        assert result.stdout.splitlines() == EXPECTED
    held = containers(tmp_path)
    out = tmp_path / "out"
    result = hidden(system_libraries, [venv / "bin" / "pairo", "-q", *held.values(), "-o", out])
    assert result.returncode == 0, result.stderr
    converted = {path.relative_to(out).as_posix(): path.read_text().splitlines() for path in out.rglob("*.jsonl")}
    assert converted == {f"{folder}/{GAME_ID}.mjai.jsonl": EXPECTED for folder in held}
