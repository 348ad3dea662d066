"""The version is written once, in CMakeLists.txt's project(); everything
that reports one reports it."""

import importlib.metadata
import re
import subprocess
import sys
from pathlib import Path

from conftest import REPO

import _pairo
import pairo


def test_every_version_is_the_project_version():
    written = re.search(r"project\(pairo VERSION ([0-9.]+)", (REPO / "CMakeLists.txt").read_text())
    assert written
    command = subprocess.run(
        [Path(sys.executable).parent / "pairo", "--version"], capture_output=True, text=True, check=True
    )
    reported = {
        "metadata": importlib.metadata.version("pairo"),
        "_pairo.__version__": _pairo.__version__,
        "_pairo.VERSION": _pairo.VERSION,
        "pairo.__version__": pairo.__version__,
        "pairo --version": command.stdout.removeprefix("pairo ").strip(),
    }
    assert reported == dict.fromkeys(reported, written[1])
