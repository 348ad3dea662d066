"""Writes the seeds of the replay's fuzz target: the mjai streams pairo
writes for the corpus's real logs and records, one file each.
    validate_seeds.py CORPUS OUTDIR   (run with a Python that has pairo)"""

import sys
from pathlib import Path

import pairo

corpus, out = Path(sys.argv[1]), Path(sys.argv[2])
out.mkdir(parents=True, exist_ok=True)
for folder in ("real", "real-rounds", "sim", "xml"):
    for path in sorted((corpus / folder).glob("*.[jx][sm][ol]*")):
        if path.name.endswith(".truth.jsonl"):
            continue
        try:
            events = pairo.convert_path(path)
        except Exception:
            continue
        if isinstance(events, list):
            (out / f"{folder}-{path.stem}.jsonl").write_text("".join(e + "\n" for e in events))
