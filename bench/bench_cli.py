"""Logs per second of the `pairo` command over copies of the real games.

    python bench/bench_cli.py [--copies N] [--repeat N]

Copies the corpus's real logs N times into a temporary folder, then times
`python -m pairo FOLDER -o OUT -q` with one and two jobs, plain and gzipped
output, each into a fresh output folder (best of --repeat runs; interpreter
start-up included), with the processor time the command and its workers
spent per log, which other load on the machine does not inflate as it does
the wall clock. The in-process conversion rate of the same logs is printed
first as the ceiling of one job. Results only, no thresholds.
"""

from __future__ import annotations

import argparse
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent


def corpus_real() -> list[Path]:
    root = Path(os.environ.get("PAIRO_CORPUS", REPO.parent / "shared" / "corpus"))
    logs = sorted((root / "real").glob("*.json"))
    if not logs:
        sys.exit(f"bench_cli: no real logs under {root}; set PAIRO_CORPUS")
    return logs


def build_collection(logs: list[Path], copies: int, root: Path) -> int:
    for copy in range(copies):
        folder = root / f"copy-{copy:03}"
        folder.mkdir(parents=True)
        for log in logs:
            shutil.copyfile(log, folder / log.name)
    return copies * len(logs)


def in_process_rate(logs: list[Path], copies: int) -> float:
    import pairo

    start = time.perf_counter()
    for _ in range(copies):
        for log in logs:
            pairo.convert_path(log)
    return copies * len(logs) / (time.perf_counter() - start)


def children_cpu() -> float:
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def command_rate(source: Path, count: int, work: Path, extra: list[str], repeat: int) -> tuple[float, float]:
    """Logs per second (best run) and processor milliseconds per log (least)."""
    env = {**os.environ, "PYTHONPATH": os.pathsep.join(p for p in sys.path if p)}
    best = cpu = float("inf")
    for attempt in range(repeat):
        out = work / f"out-{'-'.join(extra)}-{attempt}"
        cpu_before = children_cpu()
        start = time.perf_counter()
        result = subprocess.run(
            [sys.executable, "-m", "pairo", str(source), "-o", str(out), "-q", *extra],
            capture_output=True,
            env=env,
        )
        elapsed = time.perf_counter() - start
        if result.returncode != 0:
            sys.exit(f"bench_cli: pairo {' '.join(extra)} failed:\n{result.stderr.decode()}")
        best = min(best, elapsed)
        cpu = min(cpu, children_cpu() - cpu_before)
        shutil.rmtree(out)
    return count / best, 1e3 * cpu / count


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--copies", type=int, default=20, help="copies of the real logs (default 20)")
    parser.add_argument("--repeat", type=int, default=3, help="runs per setting, the best counts (default 3)")
    args = parser.parse_args()
    logs = corpus_real()
    with tempfile.TemporaryDirectory(prefix="pairo-bench-cli-") as temp:
        work = Path(temp)
        source = work / "logs"
        count = build_collection(logs, args.copies, source)
        print(f"{count} logs ({len(logs)} real games x {args.copies}), best of {args.repeat}, {os.cpu_count()} CPUs")
        print(f"{'in-process convert_path':<28} {in_process_rate(logs, args.copies):8.0f} logs/s")
        for extra in (["-j", "1"], ["-j", "2"], ["-j", "1", "--gzip"], ["-j", "2", "--gzip"]):
            rate, cpu_ms = command_rate(source, count, work, extra, args.repeat)
            print(f"{'pairo ' + ' '.join(extra):<28} {rate:8.0f} logs/s  {cpu_ms:6.2f} CPU ms/log")


if __name__ == "__main__":
    main()
