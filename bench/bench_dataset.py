"""The `pairo` command making a data set from a downloader's database: the
date layout against the flat output, -j 2 against -j 1, and a database
whose every row the filters leave out against converting it.

    .venv/bin/python bench/bench_dataset.py [--count N] [--passes N] [--cache DIR]

The data: a database of the newer layout (gzip blobs) of --count distinct
records (default 100,000), as bench/make_archives.py makes them (ids of type
00a9, East-South houou games), kept under --cache (default
/dev/shm/pairo-bench-dataset, tmpfs). Each pass runs, in turn,

    flat:     pairo DB -o OUT -q -j J --gzip
    date:     pairo DB -o OUT -q -j J --layout date --suffix .json --gzip
    filtered: pairo DB -o OUT -q -j 1 --length east       (every row left out)

at -j 1 then -j 2 (filtered at -j 1 only), the order of flat and date
swapped from pass to pass. Every run must leave one output per row (none
when filtered). Figures are medians over the passes, ratios taken within a
pass: wall clock, the engine's own timer (PAIRO_REPORT_ELAPSED=1), CPU time
and peak memory (wait4).
"""

from __future__ import annotations

import argparse
import gzip
import hashlib
import os
import re
import shutil
import sqlite3
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import make_archives  # noqa: E402
from timing import corpus_root  # noqa: E402

REPO = Path(__file__).resolve().parent.parent
VARIANTS = {
    "flat": ["--gzip"],
    "date": ["--layout", "date", "--suffix", ".json", "--gzip"],
    "filtered": ["--length", "east"],
}


def database(cache: Path, count: int) -> Path:
    texts = make_archives.corpus_texts(corpus_root() / "xml")
    digest = hashlib.sha256(b"".join(hashlib.sha256(t).digest() for t in texts)).hexdigest()[:12]
    path = cache / f"n{count}-{digest}.db"
    if path.exists():
        return path
    cache.mkdir(parents=True, exist_ok=True)
    partial = path.with_suffix(".partial")
    partial.unlink(missing_ok=True)
    print(f"making {count:,} records into {path} (once)", flush=True)
    db = sqlite3.connect(partial)
    db.execute(
        "CREATE TABLE logs(id TEXT PRIMARY KEY, date TEXT NOT NULL, num_players INT, is_tonpu INT,"
        " is_processed INT, was_error INT, log BLOB) WITHOUT ROWID"
    )
    for i in range(count):
        blob = gzip.compress(make_archives.record(texts, i), 6, mtime=0)
        db.execute("INSERT INTO logs VALUES(?,?,?,?,?,?,?)", (make_archives.game_id(i), "", 4, 0, 1, 0, blob))
    db.commit()
    db.close()
    partial.rename(path)
    return path


def run(pairo: Path, source: Path, out: Path, variant: str, jobs: int, expected: int) -> dict[str, float]:
    args = [str(pairo), str(source), "-o", str(out), "-q", "-j", str(jobs), *VARIANTS[variant]]
    load = os.getloadavg()[0]
    start = time.perf_counter()
    process = subprocess.Popen(
        args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env={**os.environ, "PAIRO_REPORT_ELAPSED": "1"}
    )
    assert process.stderr is not None
    stderr = process.stderr.read().decode()
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    made = sum(len(names) for _, _, names in os.walk(out))
    shutil.rmtree(out, ignore_errors=True)
    if os.waitstatus_to_exitcode(status) != 0 or made != expected:
        sys.exit(f"bench_dataset: {' '.join(args)} left {made} outputs, {expected} expected:\n{stderr[-2000:]}")
    engine = re.search(r"^engine: ([0-9.]+) s$", stderr, re.MULTILINE)
    return {
        "wall": wall,
        "engine": float(engine.group(1)) if engine else wall,
        "cpu": usage.ru_utime + usage.ru_stime,
        "peak": usage.ru_maxrss / 1024,
        "load": load,
    }


def spread(values: list[float], digits: int = 2) -> str:
    return f"{statistics.median(values):.{digits}f} ({min(values):.{digits}f}–{max(values):.{digits}f})"


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--count", type=int, default=100_000)
    parser.add_argument("--passes", type=int, default=3)
    parser.add_argument("--cache", type=Path, default=Path("/dev/shm/pairo-bench-dataset"))
    parser.add_argument("--pairo", type=Path, default=REPO / ".venv" / "bin" / "pairo")
    args = parser.parse_args()
    source = database(args.cache, args.count)
    out = args.cache / "out"
    runs: dict[tuple[str, int], list[dict[str, float]]] = {}
    for number in range(args.passes):
        order = ["flat", "date"] if number % 2 == 0 else ["date", "flat"]
        for jobs in (1, 2):
            for variant in order:
                runs.setdefault((variant, jobs), []).append(run(args.pairo, source, out, variant, jobs, args.count))
        runs.setdefault(("filtered", 1), []).append(run(args.pairo, source, out, "filtered", 1, 0))
        print(f"pass {number + 1} done", flush=True)
    print(f"{args.count:,} rows, {args.passes} passes; medians (range over passes)")
    for (variant, jobs), taken in runs.items():
        figures = ", ".join(f"{key} {spread([r[key] for r in taken], 3 if key != 'peak' else 0)}" for key in taken[0])
        print(f"{variant:8} -j {jobs}: {figures}")

    def ratios(a: tuple[str, int], b: tuple[str, int], key: str) -> str:
        return spread([x[key] / y[key] for x, y in zip(runs[a], runs[b], strict=True)], 3)

    for key in ("engine", "wall", "cpu"):
        print(f"date / flat by {key}: -j 1 {ratios(('date', 1), ('flat', 1), key)}, "
              f"-j 2 {ratios(('date', 2), ('flat', 2), key)}")
    for variant in ("flat", "date"):
        print(f"{variant}: -j 1 / -j 2 by engine {ratios((variant, 1), (variant, 2), 'engine')}, "
              f"by wall {ratios((variant, 1), (variant, 2), 'wall')}")
    print(f"converting / all filtered out, -j 1, by wall: {ratios(('flat', 1), ('filtered', 1), 'wall')}, "
          f"by engine: {ratios(('flat', 1), ('filtered', 1), 'engine')}")


if __name__ == "__main__":
    main()
