"""The `pairo` command on the native engine, against an in-process loop.

    python bench/bench_cli.py [--copies N] [--repeat N]

The collection, on tmpfs (/dev/shm): --copies copies (default 32, 5,088
logs) of the corpus's real/ and sim/ logs, every seventh log gzipped
(".json.gz"), the others plain JSON; the plain ones under IN/plain, the
gzipped ones under IN/gz. Figures, each the best of --repeat runs, runs
alternating:

- loop: in one interpreter, `for path in plain: tenhou_file_to_mjai(path, out)`
  (out a fresh file on tmpfs per log), over the plain JSON files.
- start-up: `pairo --version`, the interpreter and the package loaded.
- `pairo IN -o OUT -j 1` and `-j 2` over the whole collection: wall clock,
  and the engine's own timer (first log started to last output renamed,
  from PAIRO_REPORT_ELAPSED=1); speed-ups by the timer and end to end with
  start-up counted out of both.
- `pairo IN/plain -o OUT -j 1` against the loop, start-up included.
- compression: `-j 1 --gzip` against `-j 1` by the engine's timer, per log.
- peak memory (maximum resident set) of `-j 2` over the collection and over
  a quarter of it: it must not grow with the number of logs.
The load average is printed before and after: other work on the machine
inflates every wall-clock figure.
"""

from __future__ import annotations

import argparse
import gzip
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
GZIP_EVERY = 7
ENV = {**os.environ, "PYTHONPATH": os.pathsep.join(p for p in sys.path if p), "PAIRO_REPORT_ELAPSED": "1"}


def corpus_logs() -> list[Path]:
    root = Path(os.environ.get("PAIRO_CORPUS", REPO.parent / "shared" / "corpus"))
    logs = sorted((root / "real").glob("*.json")) + sorted((root / "sim").glob("*.json"))
    if not logs:
        sys.exit(f"bench_cli: no logs under {root}; set PAIRO_CORPUS")
    return logs


def build_collection(logs: list[Path], copies: int, root: Path) -> tuple[int, int]:
    """Plain and gzipped counts; copy k of log i goes to IN/<plain|gz>/k/."""
    plain = gzipped = 0
    for copy in range(copies):
        for log in logs:
            index = plain + gzipped
            kind = "gz" if index % GZIP_EVERY == 0 else "plain"
            folder = root / kind / f"{copy:03}"
            folder.mkdir(parents=True, exist_ok=True)
            if kind == "gz":
                (folder / f"{log.name}.gz").write_bytes(gzip.compress(log.read_bytes(), compresslevel=6))
                gzipped += 1
            else:
                shutil.copyfile(log, folder / log.name)
                plain += 1
    return plain, gzipped


LOOP = """
import sys, time
from pathlib import Path
from _pairo import tenhou_file_to_mjai
paths = sorted(str(p) for p in Path(sys.argv[1]).rglob("*.json"))
out = sys.argv[2]
start = time.perf_counter()
for index, path in enumerate(paths):
    tenhou_file_to_mjai(path, f"{out}/{index}.mjai.jsonl")
print(time.perf_counter() - start)
"""


def loop_seconds(plain: Path, work: Path) -> float:
    out = work / "loop-out"
    out.mkdir()
    try:
        result = subprocess.run([sys.executable, "-c", LOOP, plain, out], capture_output=True, text=True, env=ENV)
        if result.returncode != 0:
            sys.exit(f"bench_cli: the loop failed:\n{result.stderr}")
        return float(result.stdout)
    finally:
        shutil.rmtree(out)


@dataclass
class Run:
    wall: float
    engine: float
    peak_mib: float
    cpu: float = 0.0  # user and system time of the process


def command(args: list[str | Path]) -> Run:
    """One run of the command: wall clock, the engine's timer, peak memory."""
    start = time.perf_counter()
    process = subprocess.Popen(
        [sys.executable, "-m", "pairo", *map(str, args)], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=ENV
    )
    assert process.stderr is not None
    stderr = process.stderr.read().decode()
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        sys.exit(f"bench_cli: pairo {' '.join(map(str, args))} failed:\n{stderr}")
    found = re.search(r"^engine: ([0-9.]+) s$", stderr, re.MULTILINE)
    engine = float(found.group(1)) if found else 0.0
    return Run(wall, engine, usage.ru_maxrss / 1024, usage.ru_utime + usage.ru_stime)


def converted(source: Path, work: Path, *options: str) -> Run:
    out = work / "out"
    try:
        return command([source, "-o", out, "-q", *options])
    finally:
        shutil.rmtree(out, ignore_errors=True)


def best(runs: list[Run]) -> Run:
    return Run(min(r.wall for r in runs), min(r.engine for r in runs), max(r.peak_mib for r in runs))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--copies", type=int, default=32)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    shm = Path("/dev/shm") if Path("/dev/shm").is_dir() else None
    print(f"load average before: {' '.join(f'{x:.2f}' for x in os.getloadavg())}; {os.cpu_count()} processors")
    with tempfile.TemporaryDirectory(prefix="pairo-bench-cli-", dir=shm) as temp:
        work = Path(temp)
        source = work / "in"
        plain, gzipped = build_collection(corpus_logs(), args.copies, source)
        total = plain + gzipped
        quarter = work / "quarter"
        quarter.mkdir()
        for folder in sorted((source / "plain").iterdir())[: args.copies // 4]:
            shutil.copytree(folder, quarter / folder.name)
        quarter_count = sum(1 for _ in quarter.rglob("*.json"))
        print(
            f"collection on {'tmpfs' if shm else 'a temporary folder'}: {args.copies} copies of real/ and sim/, "
            f"{total} logs, {gzipped} gzipped (one in {GZIP_EVERY}), {plain} plain JSON"
        )
        print("loop body: tenhou_file_to_mjai(path, out) over the plain JSON files, one interpreter")

        loops, startups, j1, j2, j1_plain, j1_gzip, j2_quarter = [], [], [], [], [], [], []
        for _ in range(args.repeat):
            loops.append(loop_seconds(source / "plain", work))
            startups.append(command(["--version"]).wall)
            j1.append(converted(source, work, "-j", "1"))
            j2.append(converted(source, work, "-j", "2"))
            j1_plain.append(converted(source / "plain", work, "-j", "1"))
            j1_gzip.append(converted(source, work, "-j", "1", "--gzip"))
            j2_quarter.append(converted(quarter, work, "-j", "2"))
        loop, startup = min(loops), min(startups)
        one, two, one_plain, one_gzip, two_quarter = map(best, (j1, j2, j1_plain, j1_gzip, j2_quarter))

    print(f"\nloop over {plain} plain JSON logs: {loop:.3f} s ({plain / loop:,.0f} logs/s)")
    print(f"start-up (pairo --version): {startup * 1e3:.0f} ms")
    for name, run in (("-j 1", one), ("-j 2", two)):
        print(
            f"pairo IN -o OUT {name}: {run.wall:.3f} s end to end ({total / run.wall:,.0f} logs/s), "
            f"engine {run.engine:.3f} s ({total / run.engine:,.0f} logs/s)"
        )
    print(f"-j 2 / -j 1 by the engine timer: {one.engine / two.engine:.2f}x (target >= 1.8)")
    print(
        f"-j 2 / -j 1 end to end, start-up counted out: "
        f"{(one.wall - startup) / (two.wall - startup):.2f}x (target >= 1.7)"
    )
    print(
        f"pairo IN/plain -o OUT -j 1: {one_plain.wall:.3f} s with start-up = {one_plain.wall / loop:.2f}x the loop "
        f"(target <= 1.2)"
    )
    per_log = (one_gzip.engine - one.engine) / total * 1e6
    print(
        f"--gzip (level 6): {per_log:.0f} us per log of compression beside "
        f"{one.engine / total * 1e6:.0f} us per log of the rest (engine timer, -j 1)"
    )
    print(
        f"peak memory of -j 2: {two.peak_mib:.1f} MiB for {total} logs, "
        f"{two_quarter.peak_mib:.1f} MiB for {quarter_count} logs"
    )
    print(f"load average after: {' '.join(f'{x:.2f}' for x in os.getloadavg())}")


if __name__ == "__main__":
    main()
