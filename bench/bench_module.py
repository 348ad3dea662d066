"""tenhou_to_mjai(text) against json.loads(text), log by log, from Python.

Each log's text is read once into a str; both functions are then called on
that same str in alternating rounds, so that drift hits both alike. A log's
figure is the median of its rounds. Prints each log's times and ratio, then
the medians and totals, and the throughput of tenhou_to_mjai.

The way a collection is converted, every log once from a str of its own, is
bench_collection.py's.

Usage: python bench/bench_module.py [folder]   (default: $PAIRO_CORPUS/real)
The module is imported as it is found: run with PYTHONPATH set to the build
folder to measure a fresh build.
"""

import json
import statistics
import sys
from pathlib import Path

from timing import corpus_root, per_call

import _pairo

ROUND_SECONDS = 0.002  # each round repeats the call for about this long
ROUNDS = 15


def default_folder() -> Path:
    return corpus_root() / "real"


def measure(text):
    """Median seconds per call of tenhou_to_mjai and of json.loads."""
    for _ in range(3):
        _pairo.tenhou_to_mjai(text)
        json.loads(text)
    once = max(per_call(_pairo.tenhou_to_mjai, text, 1), per_call(json.loads, text, 1), 1e-7)
    loops = max(1, int(ROUND_SECONDS / once))
    ours, theirs = [], []
    for _ in range(ROUNDS):
        ours.append(per_call(_pairo.tenhou_to_mjai, text, loops))
        theirs.append(per_call(json.loads, text, loops))
    return statistics.median(ours), statistics.median(theirs)


def main(argv):
    folder = Path(argv[1]) if len(argv) > 1 else default_folder()
    paths = sorted(folder.glob("*.json"))
    if not paths:
        print(f"no logs in {folder}", file=sys.stderr)
        return 1
    print(f"bench_module: {folder}, module {_pairo.__file__}\n")
    print(f"{'log':28} {'KB':>7} {'events':>6} {'pairo us':>9} {'json us':>9} {'ratio':>6}")
    rows = []
    for path in paths:
        text = path.read_text(encoding="utf-8")
        events = len(_pairo.tenhou_to_mjai(text))
        ours, theirs = measure(text)
        size = len(text.encode("utf-8"))
        rows.append((size, events, ours, theirs))
        print(f"{path.name:28} {size / 1e3:7.1f} {events:6} {ours * 1e6:9.1f} {theirs * 1e6:9.1f} {ours / theirs:6.3f}")

    size = sum(r[0] for r in rows)
    events = sum(r[1] for r in rows)
    ours = sum(r[2] for r in rows)
    theirs = sum(r[3] for r in rows)
    print(f"\n{len(rows)} logs, {size / 1e3:.0f} KB, {events} events")
    print(f"tenhou_to_mjai / json.loads: median {statistics.median(r[2] / r[3] for r in rows):.3f}, "
          f"total {ours / theirs:.3f}   (target <= 0.3)")
    print(f"tenhou_to_mjai: median {statistics.median(r[2] for r in rows) * 1e6:.1f} us, total {ours * 1e3:.2f} ms; "
          f"json.loads: median {statistics.median(r[3] for r in rows) * 1e6:.1f} us, total {theirs * 1e3:.2f} ms")
    print(f"throughput of tenhou_to_mjai: {statistics.median(r[0] / r[2] for r in rows) / 1e6:.1f} MB/s "
          f"(total {size / ours / 1e6:.1f}), {statistics.median(r[1] / r[2] for r in rows) / 1e6:.2f} M events/s "
          f"(total {events / ours / 1e6:.2f}), {len(rows) / ours:.0f} logs/s")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
