"""What the Python benchmarks share: where the corpus is, and the time of
one call measured over a loop of calls."""

import os
import time
from pathlib import Path


def corpus_root() -> Path:
    """$PAIRO_CORPUS, or the shared corpus beside the project."""
    return Path(os.environ.get("PAIRO_CORPUS") or Path(__file__).resolve().parents[2] / "shared" / "corpus")


def per_call(function, argument, loops: int) -> float:
    """Seconds per call of function(argument), over `loops` calls in a row."""
    clock = time.perf_counter
    start = clock()
    for _ in range(loops):
        function(argument)
    return (clock() - start) / loops
