"""The release artefacts in dist/ that scripts/build-wheels.sh builds (run
with `pytest -m artifacts`, the packaging tools' venv on PATH): each wheel
installs into a fresh venv and converts the sample, alone and held in a
database and in bundles, on a machine without the libraries its modules
were linked against. The script builds every wheel from the sdist, so these
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
WHEEL_LIMIT = 2 << 20  # bytes
GAME_ID = "2019021004gm-00a9-0000-e2f6516d"


def wheels(folder: Path) -> list[Path]:
    return sorted(folder.glob("pairo-*.whl"))


def python_tag(wheel: Path) -> str:
    return wheel.name.split("-")[2]  # "cp312"


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


def fresh_venv(where: Path, wheel: Path) -> Path:
    """A new venv holding the wheel, its dependencies taken from the index."""
    subprocess.run([pythons()[python_tag(wheel)], "-m", "venv", where], check=True)
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
def linked_libraries() -> list[str]:
    """The system libraries outside the manylinux policy that the extension
    modules link, as auditwheel reads them from the wheels as built."""
    raw = wheels(RAW)
    assert raw, f"no wheels in {RAW}: run scripts/build-wheels.sh"
    return sorted({path for wheel in raw for path in auditwheel_show(wheel)["external_libs"].values()})


def test_dist_holds_the_sdist_and_a_repaired_wheel_per_build():
    assert len(list(DIST.glob("pairo-*.tar.gz"))) == 1
    assert [python_tag(w) for w in wheels(DIST)] == [python_tag(w) for w in wheels(RAW)] != []


@pytest.mark.parametrize("wheel", wheels(DIST), ids=lambda w: w.name)
def test_wheel_is_small_and_needs_no_library_outside_its_policy(wheel):
    assert wheel.stat().st_size <= WHEEL_LIMIT
    shown = auditwheel_show(wheel)
    assert shown["external_libs"] == {}
    assert shown["overall_tag"].startswith("manylinux_")
    assert wheel.name.endswith(f"-{shown['overall_tag']}.whl")


@pytest.mark.skipif(os.geteuid() != 0, reason="hiding the system's libraries takes root (unshare -m, mount)")
@pytest.mark.parametrize("wheel", wheels(DIST), ids=lambda w: w.name)
def test_wheel_converts_with_the_system_libraries_hidden(wheel, linked_libraries, tmp_path):
    venv = fresh_venv(tmp_path / "venv", wheel)
    if linked_libraries:  # the hiding takes hold: the build of this checkout no longer loads
        plain = hidden(linked_libraries, [sys.executable, "-c", "import _pairo"])
        assert plain.returncode == 1 and "ImportError" in plain.stderr, plain.stderr
    for argv in conversions(venv):
        result = hidden(linked_libraries, argv)
        assert result.returncode == 0, result.stderr
        assert result.stdout.splitlines() == EXPECTED
    held = containers(tmp_path)
    out = tmp_path / "out"
    result = hidden(linked_libraries, [venv / "bin" / "pairo", "-q", *held.values(), "-o", out])
    assert result.returncode == 0, result.stderr
    converted = {path.relative_to(out).as_posix(): path.read_text().splitlines() for path in out.rglob("*.jsonl")}
    assert converted == {f"{folder}/{GAME_ID}.mjai.jsonl": EXPECTED for folder in held}

