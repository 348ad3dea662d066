"""mjlog_to_mjai(xml) against tenhou_to_mjai(twin), record by record, from
Python: each XML game record of $PAIRO_CORPUS/xml against its tenhou.net/6
JSON twin (xml/MANIFEST.tsv), the same game.

The twin is re-written compactly first (its JSON value dumped without
spaces, UTF-8 unescaped, as Tenhou writes it): 17 of the twins are
pretty-printed, which would flatter the XML. The record is given as a str
and as bytes (as a file's content comes); mjlog_to_tenhou6 is timed given a
str. Every call of every record runs once per pass, the passes alternate, so
that drift hits all alike; a figure is the median of its passes.

Prints each record's times, then over all 23 records and over the six
mjlog2json-* records (Tenhou's own compact twins) apart:
  mjai / twin     mjlog_to_mjai over tenhou_to_mjai of the compact twin
                  (target <= 1.1), given a str and given bytes
  tenhou6 / mjai  mjlog_to_tenhou6 over mjlog_to_mjai (target <= 1.0)
each as the median over records of the per-record medians, and as the
total over total of each pass: median and range of the passes (the spread).

Usage: python bench/bench_mjlog.py [corpus folder] [passes (default 7)]
The package is imported as it is found: reinstall it to measure a change.

On a busy machine, instruction counts say more than times: with --once CALL
(one of xml-str, xml-bytes, twin, tenhou6) [REPEAT] each record's call
runs REPEAT times (default 1) after all arguments are made; callgrind's
total of a run with REPEAT 3 less that of the run with REPEAT 1, over 46, is
the cost of one call without what a first call sets up:
    valgrind --tool=callgrind python bench/bench_mjlog.py --once xml-str 3
"""

import csv
import json
import statistics
import sys
from pathlib import Path

from timing import corpus_root, per_call

import pairo

PASS_SECONDS = 0.002  # each pass repeats a call for about this long
CALLS = ["xml str", "xml bytes", "twin", "tenhou6"]


def calls_of(xml: bytes, twin: str):
    text = xml.decode("utf-8")
    compact = json.dumps(json.loads(twin), separators=(",", ":"), ensure_ascii=False)
    return [(pairo.mjlog_to_mjai, text), (pairo.mjlog_to_mjai, xml), (pairo.tenhou_to_mjai, compact),
            (pairo.mjlog_to_tenhou6, text)]


def ratios(records, top, bottom):
    """Median over records of top / bottom, and median, lowest and highest over
    passes of the total of top over the total of bottom."""
    per_record = statistics.median(statistics.median(r[top]) / statistics.median(r[bottom]) for r in records)
    passes = len(records[0][top])
    totals = [sum(r[top][p] for r in records) / sum(r[bottom][p] for r in records) for p in range(passes)]
    return per_record, statistics.median(totals), min(totals), max(totals)


def summary(title, records):
    print(f"\n{title}: {len(records)} records")
    for label, top, bottom, target in [("mjai (str) / twin", "xml str", "twin", 1.1),
                                       ("mjai (bytes) / twin", "xml bytes", "twin", 1.1),
                                       ("tenhou6 / mjai (str)", "tenhou6", "xml str", 1.0)]:
        per_record, total, low, high = ratios(records, top, bottom)
        print(f"  {label:22} median over records {per_record:.3f}; total/total {total:.3f} "
              f"(passes {low:.3f}..{high:.3f})   target <= {target}")
    medians = {c: statistics.median(statistics.median(r[c]) for r in records) * 1e6 for c in CALLS}
    print("  median us: " + ", ".join(f"{c} {medians[c]:.1f}" for c in CALLS))


def rows_of(root: Path):
    with open(root / "xml" / "MANIFEST.tsv", encoding="utf-8", newline="") as file:
        return list(csv.DictReader(file, delimiter="\t"))


def once(call: str, repeat: int, root: Path) -> int:
    """Each record's `call` `repeat` times, its argument made beforehand."""
    made = [calls_of((root / "xml" / row["xml file"]).read_bytes(),
                     (root / row["JSON twin"]).read_text(encoding="utf-8")) for row in rows_of(root)]
    arguments = [record[CALLS.index(call)] for record in made]
    for _ in range(repeat):
        for function, data in arguments:
            function(data)
    print(f"{len(arguments)} calls of {call}", file=sys.stderr)
    return 0


def main(argv):
    if len(argv) > 2 and argv[1] == "--once":
        return once(argv[2].replace("-", " "), int(argv[3]) if len(argv) > 3 else 1, corpus_root())
    root = Path(argv[1]) if len(argv) > 1 else corpus_root()
    passes = int(argv[2]) if len(argv) > 2 else 7
    manifest = root / "xml" / "MANIFEST.tsv"
    if not manifest.is_file():
        print(f"no {manifest}", file=sys.stderr)
        return 1
    with open(manifest, encoding="utf-8", newline="") as file:
        rows = list(csv.DictReader(file, delimiter="\t"))
    print(f"bench_mjlog: {root / 'xml'}, module {pairo._native.__file__}, {passes} passes")
    names = [row["xml file"] for row in rows]
    calls = [calls_of((root / "xml" / row["xml file"]).read_bytes(),
                      (root / row["JSON twin"]).read_text(encoding="utf-8")) for row in rows]
    loops = []
    for record in calls:
        for function, data in record:
            function(data)
        loops.append([max(1, int(PASS_SECONDS / max(per_call(f, d, 1), 1e-7))) for f, d in record])
    figures = [{c: [] for c in CALLS} for _ in calls]
    # A call runs in what the call before it left (caches, a heap a large
    # result was freed from): each pass starts at the next call, and every
    # other pass goes through the calls backwards, so that no call always
    # comes first or always comes after the same one.
    for p in range(passes):
        order = [(p + i) % len(CALLS) for i in range(len(CALLS))]
        if p % 2:
            order.reverse()
        for record, n, figure in zip(calls, loops, figures):
            for c in order:
                function, data = record[c]
                figure[CALLS[c]].append(per_call(function, data, n[c]))

    print(f"\n{'record':20} {'xml str':>8} {'xml b':>8} {'twin':>8} {'tenhou6':>8} {'ratio':>6} {'ratio b':>7}   (us)")
    for name, figure in zip(names, figures):
        m = {c: statistics.median(figure[c]) for c in CALLS}
        print(f"{name:20} {m['xml str'] * 1e6:8.1f} {m['xml bytes'] * 1e6:8.1f} {m['twin'] * 1e6:8.1f} "
              f"{m['tenhou6'] * 1e6:8.1f} {m['xml str'] / m['twin']:6.3f} {m['xml bytes'] / m['twin']:7.3f}")
    summary("all records", figures)
    summary("mjlog2json-* (Tenhou's own twins)",
            [f for name, f in zip(names, figures) if name.startswith("mjlog2json-")])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
