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


@pytest.mark.parametrize("module", extension_modules())
def test_stubs_match_the_module(module):
    result = run("mypy.stubtest", module)
    assert result.returncode == 0, result.stdout


@pytest.mark.parametrize("check", [("mypy", "--strict", "python"), ("ruff", "check", "python")], ids=lambda c: c[0])
def test_sources_pass(check):
    if find_spec(check[0]) is None:
        pytest.skip(f"{check[0]} is not installed")
    result = run(*check)
    assert result.returncode == 0, result.stdout + result.stderr


@pytest.mark.parametrize(
    ("line", "error"),
    [
        ('n: int = pairo.tenhou_file_to_mjai("x.json")', "Incompatible types in assignment"),
        ('n: int = _pairo.tenhou_to_mjai("{}")', "Incompatible types in assignment"),
        ("_pairo.tenhou_to_mjai(b'{}')", "Argument 1"),
        ('events: list[str] = pairo.convert_path("x.json") + pairo.tenhou_file_to_mjai("x", "-")', None),
        ("text: str = _pairo.__version__ + pairo.VERSION", None),
    ],
)
def test_mypy_reads_the_installed_types(tmp_path, line, error):
    # Outside the checkout, so that only the installed package is seen.
    (tmp_path / "user.py").write_text(f"import _pairo\nimport pairo\n\n{line}\n")
    result = run("mypy", "--strict", "--no-incremental", "user.py", cwd=tmp_path)
    if error is None:
        assert result.returncode == 0, result.stdout
    else:
        assert result.returncode == 1 and f"user.py:4: error: {error}" in result.stdout, result.stdout
