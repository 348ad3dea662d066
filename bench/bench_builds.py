"""Two builds of the package's extension module `_native`, timed against
each other in one process: mjlog_to_mjai over the XML records of
$PAIRO_CORPUS/xml, the two builds in turn, each pass a batch of every record
a few times over, the order swapped from pass to pass.

A change's instruction count can fall while its time rises (a heap used
otherwise, pages faulted in again, branches taken otherwise); timing two
processes one after the other on a shared machine hides that in the drift
of the machine's speed. Both builds here share one process, one heap and
one machine state, and each pass's ratio compares them a moment apart.

The order in which the two are imported moves the ratio of two different
builds by a few per cent (A against B and B against A did not give inverse
figures), as where each lies in memory does: each build is loaded twice,
from two copies of its file, in the order A B B A, and a pass compares the
two copies of A with the two of B.

Both builds must give the same events for every record; the script stops
otherwise. Prints the median ratio A/B over the passes and its quartiles.

Usage: python bench/bench_builds.py A.so B.so [passes (default 60)]
(to time a build against a later one of the same folder, copy its
`_native*.so` aside first, since the build replaces it; the script itself
runs on copies of its own, so a build may run meanwhile)
"""

import importlib
import importlib.machinery
import shutil
import statistics
import sys
import tempfile
import time
from pathlib import Path

from timing import corpus_root


def load(name: str, path: str, folder: Path):
    # Each build becomes the `_native` of a package of its own, so that the
    # interpreter imports both: the module's init function is found by the
    # last part of its name, which both builds share. A copy of the file,
    # not a link: the loader maps a file it has mapped once only once.
    package = folder / name
    package.mkdir()
    (package / "__init__.py").write_text("")
    shutil.copyfile(path, package / f"_native{importlib.machinery.EXTENSION_SUFFIXES[0]}")
    return importlib.import_module(f"{name}._native")


def batch_seconds(convert, records, repeats: int = 5) -> float:
    start = time.perf_counter()
    for _ in range(repeats):
        for record in records:
            convert(record)
    return time.perf_counter() - start


def main() -> None:
    with tempfile.TemporaryDirectory(prefix="pairo-builds-") as folder:
        sys.path.insert(0, folder)
        builds = [load(name, path, Path(folder))
                  for name, path in [("a1", sys.argv[1]), ("b1", sys.argv[2]), ("b2", sys.argv[2]), ("a2", sys.argv[1])]]
    a, b = builds[0], builds[1]
    passes = int(sys.argv[3]) if len(sys.argv) > 3 else 60
    records = [p.read_bytes() for p in sorted((corpus_root() / "xml").iterdir()) if p.suffix in (".xml", ".mjlog")]
    for record in records:
        if a.mjlog_to_mjai(record) != b.mjlog_to_mjai(record):
            sys.exit("the two builds give different events")
    ratios = []
    for i in range(passes):
        # Each pass starts at the next build, so that none always runs first.
        seconds = {}
        for k in range(len(builds)):
            j = (i + k) % len(builds)
            seconds[j] = batch_seconds(builds[j].mjlog_to_mjai, records)
        ratios.append((seconds[0] + seconds[3]) / (seconds[1] + seconds[2]))
    low, _, high = statistics.quantiles(ratios, n=4)
    print(f"A/B over {len(records)} records, {passes} passes: median {statistics.median(ratios):.4f}, "
          f"quartiles {low:.4f} {high:.4f}")


if __name__ == "__main__":
    main()
