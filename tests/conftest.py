"""Shared fixtures: the game-log corpus and a helper to run Python code in a
fresh interpreter."""

from __future__ import annotations

import os
import subprocess
import sys
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parent.parent


def corpus_root() -> Path | None:
    root = Path(os.environ.get("PAIRO_CORPUS", REPO.parent / "shared" / "corpus"))
    return root if root.is_dir() else None


def corpus_files(folder: str, pattern: str = "*.json") -> list[Path]:
    """The logs of one corpus folder; skips (or fails under CI) when missing."""
    root = corpus_root()
    if root is None or not (root / folder).is_dir():
        if os.environ.get("CI") == "true":
            pytest.fail(f"game-log corpus folder {folder!r} is missing")
        pytest.skip(f"game-log corpus folder {folder!r} is missing")
    files = sorted(p for p in (root / folder).glob(pattern) if not p.name.endswith(".truth.jsonl"))
    assert files, f"no logs in {root / folder}"
    return files


def run_python(code: str, **kwargs) -> subprocess.CompletedProcess[str]:
    """Runs `code` in a fresh interpreter of the same Python."""
    return subprocess.run(
        [sys.executable, "-c", code], capture_output=True, text=True, timeout=120, **kwargs
    )


def minimal_log(**overrides) -> dict:
    """The smallest decodable log: no rounds."""
    log = {"log": [], "name": ["A", "B", "C", "D"], "rule": {"disp": "", "aka": 0}}
    log.update(overrides)
    return log
