"""A collection converted as a program meets it: every log once in turn, each
from a str of its own made fresh from the file's bytes, against json.loads of
the same strs, and against another build of the module when one is named.

Real logs hold Japanese player names, so each fresh str keeps two bytes a
character and has no UTF-8 form yet: the call pays for making one, as a
program reading the files would.

Then the repeated regime, one log converted again and again from the same
str (its UTF-8 form kept by the str after the first call), for each build:
per log, the median of 7 rounds of each function in turn, and the median
over logs of the ratio to json.loads, so that both builds are compared in
the same run in both regimes.

A pass converts the whole folder with each function in turn (this build,
json.loads, the other build, json.loads again for it), each function over
strs made for it just before, untimed. The figure of a function is its time
summed over the folder, the median over the passes; json.loads is measured
next to each build, so that a build is compared with the json.loads of its
own moments of the run.

Usage: python bench/bench_collection.py [--baseline PATH.so] [--passes N] [folder]
   folder: default $PAIRO_CORPUS/real. PATH.so: another build's _pairo
   extension file, loaded beside the one found on the path.
"""

import argparse
import importlib
import json
import statistics
import sys
import time
from pathlib import Path
from types import ModuleType

from timing import corpus_root, per_call

import _pairo


def default_folder() -> Path:
    return corpus_root() / "real"


def load_other_build(path: str) -> ModuleType:
    """The extension at `path`, imported under its own name from its folder,
    then taken out of sys.modules so that this build stays `_pairo`."""
    wanted = Path(path).resolve()
    folder = str(wanted.parent)
    saved = sys.modules.pop("_pairo")
    sys.path.insert(0, folder)
    try:
        module = importlib.import_module("_pairo")
    finally:
        sys.path.remove(folder)
        sys.modules["_pairo"] = saved
    if module.__file__ is None or Path(module.__file__).resolve() != wanted:
        raise SystemExit(f"cannot load {path}: {folder} holds another _pairo")
    return module


def seconds_over(function, files: list[bytes]) -> float:
    """The time `function` takes over fresh strs of every file, in turn."""
    fresh = [data.decode("utf-8") for data in files]
    clock = time.perf_counter
    start = clock()
    for text in fresh:
        function(text)
    return clock() - start


def repeated_ratios(builds: dict[str, ModuleType], files: list[bytes], rounds: int) -> dict[str, list[float]]:
    """Per build, each log's median time per call over its median for json.loads."""
    ratios: dict[str, list[float]] = {name: [] for name in builds}
    for data in files:
        text = data.decode("utf-8")
        for module in builds.values():
            module.tenhou_to_mjai(text)
        loops = max(1, int(0.002 / max(per_call(json.loads, text, 1), 1e-7)))
        times: dict[str, list[float]] = {name: [] for name in builds}
        json_times: list[float] = []
        for _ in range(rounds):
            for name, module in builds.items():
                times[name].append(per_call(module.tenhou_to_mjai, text, loops))
            json_times.append(per_call(json.loads, text, loops))
        for name in builds:
            ratios[name].append(statistics.median(times[name]) / statistics.median(json_times))
    return ratios


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder", nargs="?", type=Path, default=default_folder())
    parser.add_argument("--baseline", help="another build's _pairo extension file")
    parser.add_argument("--passes", type=int, default=7)
    args = parser.parse_args(argv[1:])

    paths = sorted(args.folder.glob("*.json"))
    if not paths:
        print(f"no logs in {args.folder}", file=sys.stderr)
        return 1
    files = [path.read_bytes() for path in paths]
    builds = {"this build": _pairo}
    if args.baseline:
        builds["baseline"] = load_other_build(args.baseline)
    for module in builds.values():  # the same events, and warm code
        for data in files:
            module.tenhou_to_mjai(data.decode("utf-8"))

    times: dict[str, list[float]] = {name: [] for name in builds}
    json_times: dict[str, list[float]] = {name: [] for name in builds}
    for _ in range(args.passes):
        for name, module in builds.items():
            times[name].append(seconds_over(module.tenhou_to_mjai, files))
            json_times[name].append(seconds_over(json.loads, files))

    print(f"bench_collection: {len(files)} logs of {args.folder}, each once from a fresh str, "
          f"median of {args.passes} passes")
    print(f"  module {_pairo.__file__}" + (f"\n  baseline {args.baseline}" if args.baseline else ""))
    medians = {}
    for name in builds:
        ours = statistics.median(times[name])
        theirs = statistics.median(json_times[name])
        ratios = [t / j for t, j in zip(times[name], json_times[name])]
        medians[name] = ours
        print(f"  {name:10} {ours * 1e3:8.2f} ms over the folder, json.loads {theirs * 1e3:8.2f} ms, "
              f"ratio {ours / theirs:.3f} (passes {min(ratios):.3f} to {max(ratios):.3f})   (target <= 0.40)")
    if "baseline" in medians:
        print(f"  this build / baseline: {medians['this build'] / medians['baseline']:.3f}   (target <= 0.8)")

    print("repeated: each log again and again from one str, median over logs of the ratio to json.loads")
    repeated = {name: statistics.median(r) for name, r in repeated_ratios(builds, files, args.passes).items()}
    for name, ratio in repeated.items():
        print(f"  {name:10} ratio {ratio:.3f}")
    if "baseline" in repeated:
        print(f"  this build / baseline: {repeated['this build'] / repeated['baseline']:.3f}   (target <= 0.9)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
