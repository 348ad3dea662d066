"""`pairo validate` against the conversion that wrote its streams.

    python bench/bench_validate.py [--copies N] [--passes N]

The collection of bench_cli.py on tmpfs, built from the corpus's real/ logs
only (a simulated game deals random tiles, and its replay stops at its first
riichi, flattering the figure): --copies copies (default 32, 1,888 logs),
every seventh gzipped. It is converted once into STREAMS (.mjai.jsonl).
Then --passes alternating passes (default 9, the order reversed every
other pass) of

- `pairo IN -o OUT -j 1` and `-j 2` (OUT fresh each pass): conversion, by
  the engine's timer (PAIRO_REPORT_ELAPSED=1) and its CPU time;
- `pairo validate STREAMS -j 1` and `-j 2`, the same;

and the medians: validation against conversion at -j 1, -j 2 against
-j 1 for both (conversion's speed-up tells what the machine lent the pass). Peak memory (maximum resident set) of validate at -j 1 and -j 2 over
the whole set and over a quarter of it: it must not grow with the logs.
"""

from __future__ import annotations

import argparse
import shutil
import statistics
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from bench_cli import Run, build_collection, command, corpus_logs  # noqa: E402


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--copies", type=int, default=32)
    parser.add_argument("--passes", type=int, default=9)
    args = parser.parse_args()
    logs = [log for log in corpus_logs() if log.parent.name == "real"]
    with tempfile.TemporaryDirectory(dir="/dev/shm") as scratch:
        work = Path(scratch)
        plain, gzipped = build_collection(logs, args.copies, work / "in")
        streams = work / "streams"
        command([work / "in", "-o", streams, "-q"])
        quarter = work / "quarter"
        quarter.mkdir()
        for folder in sorted((streams / "plain").iterdir())[: max(1, args.copies // 4)]:
            shutil.copytree(folder, quarter / folder.name)

        def convert(threads: str) -> Run:
            try:
                return command([work / "in", "-o", work / "out", "-q", "-j", threads])
            finally:
                shutil.rmtree(work / "out", ignore_errors=True)

        kinds = {
            "convert -j 1": lambda: convert("1"),
            "convert -j 2": lambda: convert("2"),
            "validate -j 1": lambda: command(["validate", streams, "-q", "-j", "1"]),
            "validate -j 2": lambda: command(["validate", streams, "-q", "-j", "2"]),
        }
        runs: dict[str, list[Run]] = {name: [] for name in kinds}
        for index in range(args.passes):
            order = list(kinds) if index % 2 == 0 else list(reversed(kinds))
            for name in order:
                runs[name].append(kinds[name]())
        count = plain + gzipped
        print(f"{count} logs ({gzipped} gzipped) from {len(logs)} real logs; {args.passes} passes")
        engine = {name: statistics.median(r.engine for r in rs) for name, rs in runs.items()}
        cpu = {name: statistics.median(r.cpu for r in rs) for name, rs in runs.items()}
        for name in kinds:
            print(f"{name:15} engine {engine[name]:.3f} s ({count / engine[name]:,.0f} logs/s), "
                  f"CPU {cpu[name]:.3f} s, peak {max(r.peak_mib for r in runs[name]):.0f} MiB")
        ratios = [v.engine / c.engine for v, c in zip(runs["validate -j 1"], runs["convert -j 1"])]
        speedups = [one.engine / two.engine for one, two in zip(runs["validate -j 1"], runs["validate -j 2"])]
        control = [one.engine / two.engine for one, two in zip(runs["convert -j 1"], runs["convert -j 2"])]
        print(f"validate / convert at -j 1: {statistics.median(ratios):.2f} "
              f"({min(ratios):.2f}-{max(ratios):.2f}) by the engine's timer, "
              f"{cpu['validate -j 1'] / cpu['convert -j 1']:.2f} by CPU time")
        print(f"validate -j 2 speed-up: {statistics.median(speedups):.2f} ({min(speedups):.2f}-{max(speedups):.2f}); "
              f"convert's {statistics.median(control):.2f} ({min(control):.2f}-{max(control):.2f})")
        for threads in ("1", "2"):
            whole = command(["validate", streams, "-q", "-j", threads]).peak_mib
            quarter_peak = command(["validate", quarter, "-q", "-j", threads]).peak_mib
            print(f"peak memory of validate -j {threads}: {whole:.0f} MiB over all, {quarter_peak:.0f} MiB over a quarter")


if __name__ == "__main__":
    main()
