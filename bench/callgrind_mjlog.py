"""Every XML game record of a folder through mjlog_to_mjai once, each from
bytes of its own (as a file's content comes): the loop that callgrind counts
the instructions of a call on.

    valgrind --tool=callgrind --toggle-collect='pairo::native::*mjlog_to_mjai*' \
        python bench/callgrind_mjlog.py [folder]

Only the instructions inside the entry point are collected, so the
interpreter's start-up and this loop do not count. Run it with PYTHONPATH set
to a build folder (its _native extension) to count a fresh build.
"""

import sys
from pathlib import Path

from timing import corpus_root

import _native


def main(argv: list[str]) -> int:
    folder = Path(argv[1]) if len(argv) > 1 else corpus_root() / "xml"
    records = [path.read_bytes() for path in sorted(folder.glob("*.xml"))]
    for record in records:
        _native.mjlog_to_mjai(record)
    print(f"{len(records)} records", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
