"""mjlog_to_mjai(xml) against tenhou_to_mjai(twin), record by record, from
Python: each XML game record of $PAIRO_CORPUS/xml against its tenhou.net/6
JSON twin (xml/MANIFEST.tsv), the same game.

The record is given as a str and as bytes (as a file's content comes), the
twin as a str; mjlog_to_tenhou6(xml) is timed too. The calls alternate in
rounds so that drift hits all alike; a figure is the median of its rounds.
Prints each record's times, then the median over records of
mjlog_to_mjai / tenhou_to_mjai (target <= 1.5) and of the writer's time.

Usage: python bench/bench_mjlog.py [corpus folder]
The package is imported as it is found: reinstall it to measure a change.
"""

import csv
import statistics
import sys
from pathlib import Path

from timing import corpus_root, per_call

import pairo

ROUND_SECONDS = 0.002  # each round repeats a call for about this long
ROUNDS = 15


def measure(calls):
    """Median seconds per call of each (function, argument) pair."""
    for function, data in calls:
        function(data)
    loops = [max(1, int(ROUND_SECONDS / max(per_call(f, d, 1), 1e-7))) for f, d in calls]
    seconds = [[] for _ in calls]
    for _ in range(ROUNDS):
        for (function, data), n, figures in zip(calls, loops, seconds):
            figures.append(per_call(function, data, n))
    return [statistics.median(figures) for figures in seconds]


def main(argv):
    root = Path(argv[1]) if len(argv) > 1 else corpus_root()
    manifest = root / "xml" / "MANIFEST.tsv"
    if not manifest.is_file():
        print(f"no {manifest}", file=sys.stderr)
        return 1
    with open(manifest, encoding="utf-8", newline="") as file:
        rows = list(csv.DictReader(file, delimiter="\t"))
    print(f"bench_mjlog: {root / 'xml'}, module {pairo._native.__file__}\n")
    print(f"{'record':20} {'KB':>6} {'xml str':>8} {'xml b':>8} {'twin':>8} {'write':>8} {'ratio':>6} {'ratio b':>7}   (us)")
    figures = []
    for row in rows:
        data = (root / "xml" / row["xml file"]).read_bytes()
        text = data.decode("utf-8")
        twin = (root / row["JSON twin"]).read_text(encoding="utf-8")
        xml_str, xml_bytes, json_str, write = measure(
            [(pairo.mjlog_to_mjai, text), (pairo.mjlog_to_mjai, data), (pairo.tenhou_to_mjai, twin),
             (pairo.mjlog_to_tenhou6, text)])
        figures.append((xml_str, xml_bytes, json_str, write))
        print(f"{row['xml file']:20} {len(data) / 1e3:6.1f} {xml_str * 1e6:8.1f} {xml_bytes * 1e6:8.1f} "
              f"{json_str * 1e6:8.1f} {write * 1e6:8.1f} {xml_str / json_str:6.3f} {xml_bytes / json_str:7.3f}")

    def median(values):
        return statistics.median(values)

    print(f"\n{len(figures)} records")
    print(f"mjlog_to_mjai / tenhou_to_mjai: median {median(f[0] / f[2] for f in figures):.3f} (str), "
          f"{median(f[1] / f[2] for f in figures):.3f} (bytes)   (target <= 1.5)")
    print(f"mjlog_to_mjai: median {median(f[0] for f in figures) * 1e6:.1f} us; "
          f"tenhou_to_mjai of the twin: median {median(f[2] for f in figures) * 1e6:.1f} us")
    print(f"mjlog_to_tenhou6: median {median(f[3] for f in figures) * 1e6:.1f} us, "
          f"{median(f[3] / f[2] for f in figures):.3f} of tenhou_to_mjai of the twin")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
