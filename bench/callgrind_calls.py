"""Every log of a folder through tenhou_to_mjai once, each from a str of its
own: the loop that callgrind counts the instructions of a call on.

    valgrind --tool=callgrind --toggle-collect='pairo::lib::tenhou_to_mjai*' \
        python bench/callgrind_calls.py [folder]

Only the instructions inside the entry point are collected, so the
interpreter's start-up and this loop do not count; the total, divided by the
number of logs, is the cost of one call. Run it with PYTHONPATH set to a
build folder to count a fresh build.
"""

import sys
from pathlib import Path

from timing import corpus_root

import _pairo


def default_folder() -> Path:
    return corpus_root() / "real"


def main(argv: list[str]) -> int:
    folder = Path(argv[1]) if len(argv) > 1 else default_folder()
    texts = [path.read_text(encoding="utf-8") for path in sorted(folder.glob("*.json"))]
    for text in texts:
        _pairo.tenhou_to_mjai(text)
    print(f"{len(texts)} logs", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
