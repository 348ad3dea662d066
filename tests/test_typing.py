"""Types as users see them: the stubs of the extension modules agree with
the modules, the package's own sources pass mypy --strict and ruff, and
mypy reads the installed package's types."""

from __future__ import annotations

import os
import subprocess
import sys
from importlib.util import find_spec
from pathlib import Path

import pytest
from conftest import REPO

import pairo

pytest.importorskip("mypy")
pytestmark = pytest.mark.skipif(
    os.environ.get("PAIRO_SANITIZED") == "1", reason="types are checked once, against the installed package"
)


def extension_modules() -> list[str]:
    """_pairo and every extension module built into the package."""
    package = Path(pairo.__file__).parent
    return ["_pairo", *sorted(f"pairo.{so.name.split('.')[0]}" for so in package.glob("*.so"))]


def run(*argv: str | Path, cwd: Path = REPO) -> subprocess.CompletedProcess[str]:
    return subprocess.run([sys.executable, "-m", *argv], cwd=cwd, capture_output=True, text=True, timeout=300)


def test_stubs_match_the_modules():
    # One stubtest run for all of them: each run pays mypy's start-up.
    result = run("mypy.stubtest", *extension_modules())
    assert result.returncode == 0, result.stdout


@pytest.mark.parametrize("check", [("mypy", "--strict", "python"), ("ruff", "check", "python")], ids=lambda c: c[0])
def test_sources_pass(check):
    if find_spec(check[0]) is None:
        pytest.skip(f"{check[0]} is not installed")
    result = run(*check)
    assert result.returncode == 0, result.stdout + result.stderr


SNIPPETS = [
    ('n: int = pairo.tenhou_file_to_mjai("x.json")', "Incompatible types in assignment"),
    ('n: int = _pairo.tenhou_to_mjai("{}")', "Incompatible types in assignment"),
    ("_pairo.tenhou_to_mjai(b'{}')", "Argument 1"),
    ('events: list[str] = pairo.convert_path("x.json") + pairo.tenhou_file_to_mjai("x", "-")', None),
    ("text: str = _pairo.__version__ + pairo.VERSION", None),
]


@pytest.fixture(scope="module")
def mypy_of_snippets(tmp_path_factory: pytest.TempPathFactory) -> str:
    """mypy's report over every snippet, each a module of its own, in one
    run: outside the checkout, so that only the installed package is seen."""
    folder = tmp_path_factory.mktemp("user")
    for index, (line, _) in enumerate(SNIPPETS):
        (folder / f"user_{index}.py").write_text(f"import _pairo\nimport pairo\n\n{line}\n")
    files = [f"user_{index}.py" for index in range(len(SNIPPETS))]
    return run("mypy", "--strict", "--no-incremental", *files, cwd=folder).stdout


@pytest.mark.parametrize(("index", "line", "error"), [(i, *snippet) for i, snippet in enumerate(SNIPPETS)])
def test_mypy_reads_the_installed_types(mypy_of_snippets, index, line, error):
    reported = [entry for entry in mypy_of_snippets.splitlines() if entry.startswith(f"user_{index}.py:")]
    if error is None:
        assert reported == [], line
    else:
        assert any(entry.startswith(f"user_{index}.py:4: error: {error}") for entry in reported), (line, reported)
