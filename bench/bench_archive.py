"""The `pairo` command over containers: downloader databases of both
layouts and a .tar.gz bundle, against the same records as files.

    .venv/bin/python bench/bench_archive.py [--count N] [--passes N] [--cache DIR]

The data (bench/make_archives.py), made once and kept under --cache (default
/dev/shm/pairo-bench-archive, tmpfs): --count distinct records (default
100,000; the corpus's XML records, each with a leading comment of its own)
as a database of the newer layout (gzip blobs), one of the older layout
(bzip2 blobs, 1% of rows holding the record of the row before, skipped as
duplicates), a .tar.gz bundle, and a folder of gzipped .mjlog files.

Each pass runs `pairo INPUT -o OUT -q -j J` (PAIRO_REPORT_ELAPSED=1) over
every input at -j 1 and -j 2, in the same order, and inflates the bundle's
gzip stream alone (Python's zlib, one thread): the floor a single
decompression stream puts under the bundle. Figures are medians over the
passes; each ratio is taken within a pass (runs next to each other) and its
median and range over the passes are given. Every run must convert every
record it should (the outputs are counted), or the bench stops.
The load average is sampled before each run: other work on the machine
inflates wall-clock figures, and its spread says how much; the processes'
CPU time (user and system, from wait4) moves less with it, so the -j 1
ratio against the files is given by CPU time too.
"""

from __future__ import annotations

import argparse
import hashlib
import os
import re
import shutil
import statistics
import subprocess
import sys
import time
import zlib
from dataclasses import dataclass, field
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import make_archives  # noqa: E402
from timing import corpus_root  # noqa: E402

REPO = Path(__file__).resolve().parent.parent
# Bump when make_archives changes what it writes: the cache is keyed on it.
DATA_VERSION = 2
MEMORY_TARGET_MIB = 64


@dataclass
class Input:
    label: str
    path: Path
    expected: int  # outputs a run must leave


@dataclass
class Run:
    wall: float
    engine: float | None
    peak_mib: float
    cpu: float  # user and system seconds of the process, all its threads
    load: float


@dataclass
class Case:
    input: Input
    jobs: int
    runs: list[Run] = field(default_factory=list)


def cached_data(cache: Path, count: int, processes: int) -> Path:
    """The data folder for `count` records, made if missing; keyed on the
    corpus's records so that a changed corpus makes it anew."""
    xml = corpus_root() / "xml"
    digest = hashlib.sha256()
    for text in make_archives.corpus_texts(xml):
        digest.update(hashlib.sha256(text).digest())
    folder = cache / f"n{count}-v{DATA_VERSION}-{digest.hexdigest()[:12]}"
    if (folder / "complete").exists():
        return folder
    partial = folder.with_name(folder.name + ".partial")
    shutil.rmtree(partial, ignore_errors=True)
    print(f"making {count:,} records into {folder} with {processes} processes (once; minutes)", flush=True)
    start = time.perf_counter()
    make_archives.build(xml, partial, count, processes)
    (partial / "complete").write_text(f"{count}\n")
    partial.rename(folder)
    print(f"made in {time.perf_counter() - start:.0f} s", flush=True)
    return folder


def check_records_read(count: int) -> None:
    """The converter reads a record made distinct as it reads the corpus's
    own: the same events."""
    from pairo import _native  # the installed package, as the command runs it

    texts = make_archives.corpus_texts(corpus_root() / "xml")
    for i in range(min(count, 2 * len(texts))):
        made = _native.mjlog_to_mjai(make_archives.record(texts, i).decode())
        if made != _native.mjlog_to_mjai(texts[i % len(texts)].decode()):
            sys.exit(f"bench_archive: record {i} does not convert as the corpus record it was made from")


def outputs(folder: Path) -> int:
    return sum(len([n for n in names if n.endswith(".mjai.jsonl")]) for _, _, names in os.walk(folder))


def command(pairo: Path, source: Path, out: Path, jobs: int, expected: int) -> Run:
    load = os.getloadavg()[0]
    env = {**os.environ, "PAIRO_REPORT_ELAPSED": "1"}
    args = [str(pairo), str(source), "-o", str(out), "-q", "-j", str(jobs)]
    start = time.perf_counter()
    process = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    assert process.stderr is not None
    stderr = process.stderr.read().decode()
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    made = outputs(out)
    shutil.rmtree(out, ignore_errors=True)
    if code != 0 or made != expected:
        sys.exit(f"bench_archive: {' '.join(args)} exited {code} with {made} outputs, {expected} expected:\n{stderr[-2000:]}")
    found = re.search(r"^engine: ([0-9.]+) s$", stderr, re.MULTILINE)
    cpu = usage.ru_utime + usage.ru_stime
    return Run(wall, float(found.group(1)) if found else None, usage.ru_maxrss / 1024, cpu, load)


def inflate_stream(path: Path) -> float:
    """Seconds to inflate a gzip file's one stream, read in 1 MiB pieces."""
    start = time.perf_counter()
    inflater = zlib.decompressobj(wbits=31)
    with open(path, "rb") as file:
        while piece := file.read(1 << 20):
            inflater.decompress(piece)
    return time.perf_counter() - start


def timer(run: Run) -> float:
    """The engine's own time, or the wall clock where it gave none."""
    return run.engine if run.engine is not None else run.wall


def spread(values: list[float], digits: int = 2) -> str:
    median = statistics.median(values)
    if len(values) == 1:
        return f"{median:.{digits}f}"
    return f"{median:.{digits}f} ({min(values):.{digits}f}–{max(values):.{digits}f})"


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--count", type=int, default=100_000)
    parser.add_argument("--passes", type=int, default=3)
    parser.add_argument("--processes", type=int, default=2, help="processes compressing the data when it is made")
    parser.add_argument("--cache", type=Path, default=Path("/dev/shm/pairo-bench-archive"))
    parser.add_argument("--pairo", type=Path, default=REPO / ".venv" / "bin" / "pairo")
    parser.add_argument("--only", nargs="*", help="labels of the inputs to run (default all)")
    args = parser.parse_args()

    data = cached_data(args.cache, args.count, args.processes)
    check_records_read(args.count)
    duplicates = sum(1 for i in range(args.count) if make_archives.duplicated(i))
    inputs = [
        Input(".mjlog files", data / "mjlog", args.count),
        Input("newer database (gzip)", data / "new.db", args.count),
        Input("older database (bzip2, 1% duplicates)", data / "old.db", args.count - duplicates),
        Input(".tar.gz bundle", data / "set.tar.gz", args.count),
    ]
    if args.only:
        inputs = [i for i in inputs if any(word in i.label for word in args.only)]
    cases = [Case(i, jobs) for i in inputs for jobs in (1, 2)]
    bundle = data / "set.tar.gz"
    stream: list[float] = []
    out = args.cache / "out"
    shutil.rmtree(out, ignore_errors=True)

    print(f"load average before: {' '.join(f'{x:.2f}' for x in os.getloadavg())}; {os.cpu_count()} processors")
    for number in range(args.passes):
        for case in cases:
            run = command(args.pairo, case.input.path, out, case.jobs, case.input.expected)
            case.runs.append(run)
            engine = f"{run.engine:.2f}" if run.engine is not None else "-"
            print(
                f"pass {number + 1}: {case.input.label:40} -j {case.jobs}: engine {engine} s, wall {run.wall:.2f} s, "
                f"CPU {run.cpu:.2f} s, {run.peak_mib:.1f} MiB, load {run.load:.2f}",
                flush=True,
            )
        stream.append(inflate_stream(bundle))
        print(f"pass {number + 1}: the bundle's gzip stream alone: {stream[-1]:.2f} s", flush=True)
    print(f"load average after: {' '.join(f'{x:.2f}' for x in os.getloadavg())}")

    by = {(c.input.label, c.jobs): c for c in cases}
    files = by.get((".mjlog files", 1))
    print(
        f"\n{args.count:,} records, {args.passes} passes; times by the engine's timer (wall clock where it gives "
        f"none), median (range); ratios taken within each pass.\n"
    )
    print(
        "| input | records converted | -j 1 | -j 2 | -j 2 speed-up | -j 1 vs .mjlog files "
        "| CPU time -j 1 vs .mjlog files | peak memory -j 1 / -j 2 |"
    )
    print("|---|---|---|---|---|---|---|---|")
    for source in inputs:
        one, two = by[(source.label, 1)], by[(source.label, 2)]
        speedup = [timer(a) / timer(b) for a, b in zip(one.runs, two.runs)]
        compared = files is not None and source.label != files.input.label
        versus = spread([timer(a) / timer(b) for a, b in zip(one.runs, files.runs)]) + "×" if compared else "–"
        cpu = spread([a.cpu / b.cpu for a, b in zip(one.runs, files.runs)]) + "×" if compared else "–"
        print(
            f"| {source.label} | {source.expected:,} | {spread([timer(r) for r in one.runs])} s "
            f"| {spread([timer(r) for r in two.runs])} s | {spread(speedup)}× | {versus} | {cpu} "
            f"| {max(r.peak_mib for r in one.runs):.0f} / "
            f"{max(r.peak_mib for r in two.runs):.0f} MiB |"
        )
    if (".tar.gz bundle", 1) in by:
        one = by[(".tar.gz bundle", 1)]
        share = [s / timer(r) for s, r in zip(stream, one.runs)]
        print(
            f"\nThe bundle's gzip stream inflated alone (zlib, one thread): {spread(stream)} s, "
            f"{spread(share)} of the bundle's -j 1 time: on one thread beside the rest spread over 2 workers, it "
            f"caps -j 2 at {min(2.0, 1 / statistics.median(share)):.2f}× -j 1 (2 cores)."
        )
    loads = [r.load for c in cases for r in c.runs]
    print(f"Load average (1 min) before the runs: median {statistics.median(loads):.2f}, {min(loads):.2f}–{max(loads):.2f}.")
    peaks = [r.peak_mib for c in cases for r in c.runs]
    print(f"Peak memory target: {MEMORY_TARGET_MIB} MiB; largest seen {max(peaks):.0f} MiB.")


if __name__ == "__main__":
    main()
