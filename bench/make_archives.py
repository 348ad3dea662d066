"""Builds the containers the archive benchmarks read: COUNT distinct
records (corpus XML records, each with a leading comment of its own) as a
database of the newer layout (gzip blobs), one of the older layout (bzip2
blobs, 1% of rows a duplicate of an earlier row), a .tar.gz bundle, and a
folder of the same records as gzipped .mjlog files.
    python3 bench/make_archives.py CORPUS_XML_FOLDER OUT_FOLDER [COUNT] [PROCESSES]

The blobs are compressed by PROCESSES worker processes (default 2); the
one process left writes the databases, the bundle's single gzip stream and
the files, in the records' order.
"""
from __future__ import annotations

import bz2
import gzip
import io
import multiprocessing
import pathlib
import sqlite3
import sys
import tarfile

NAMES = ("new.db", "old.db", "set.tar.gz", "mjlog")
DUPLICATE_EVERY = 100  # one row in a hundred of the older layout is a duplicate

_texts: list[bytes] = []


def corpus_texts(xml_folder: pathlib.Path) -> list[bytes]:
    texts = [p.read_bytes() for p in sorted(xml_folder.glob("*.xml"))]
    if not texts:
        sys.exit(f"make_archives: no XML records under {xml_folder}")
    return texts


def record(texts: list[bytes], i: int) -> bytes:
    """Record i: corpus record i mod n, made distinct by a comment after
    the XML declaration."""
    text = texts[i % len(texts)]
    head = text.index(b"?>") + 2 if text.startswith(b"<?xml") else 0
    return text[:head] + b"<!-- %d -->" % i + text[head:]


def game_id(i: int) -> str:
    """A four-player hanchan id (type 00a9), distinct for each i."""
    return "%010dgm-00a9-0000-%08x" % (2019010100 + i // 24 * 100 + i % 24, i)


def duplicated(i: int) -> bool:
    """Row i of the older layout holds the record of row i - 1."""
    return i % DUPLICATE_EVERY == DUPLICATE_EVERY - 1


def member_name(i: int) -> str:
    return "%d/%s" % (i // 10000, game_id(i))


def _start(texts: list[bytes]) -> None:
    global _texts
    _texts = texts


def _compressed(i: int) -> tuple[bytes, bytes, bytes]:
    """Record i's text, its gzip blob, and the older layout's bzip2 blob
    (empty for a duplicate row, which takes the row before's)."""
    text = record(_texts, i)
    return text, gzip.compress(text, 6, mtime=0), b"" if duplicated(i) else bz2.compress(text, 9)


def build(xml_folder: pathlib.Path, out: pathlib.Path, count: int, processes: int = 2) -> None:
    texts = corpus_texts(xml_folder)
    out.mkdir(parents=True, exist_ok=True)
    for name in NAMES[:3]:
        (out / name).unlink(missing_ok=True)
    new = sqlite3.connect(out / "new.db")
    new.execute(
        "CREATE TABLE logs(id TEXT PRIMARY KEY, date TEXT NOT NULL, num_players INT, is_tonpu INT,"
        " is_processed INT, was_error INT, log BLOB) WITHOUT ROWID"
    )
    old = sqlite3.connect(out / "old.db")
    old.execute(
        "CREATE TABLE logs(log_id TEXT PRIMARY KEY, date TEXT, is_tonpusen INT, is_sanma INT,"
        " is_processed INT, was_error INT, log_content TEXT, log_hash TEXT)"
    )
    mjlog = out / "mjlog"
    previous_bz = b""
    with multiprocessing.Pool(processes, _start, (texts,)) as pool, tarfile.open(
        out / "set.tar.gz", "w:gz", compresslevel=6
    ) as tar:
        for i, (text, gz, bz) in enumerate(pool.imap(_compressed, range(count), chunksize=64)):
            new.execute("INSERT INTO logs VALUES(?,?,?,?,?,?,?)", (game_id(i), "", 4, 0, 1, 0, gz))
            bz = bz or previous_bz
            old.execute("INSERT INTO logs VALUES(?,?,?,?,?,?,?,?)", (game_id(i), "", 0, 0, 1, 0, bz, ""))
            previous_bz = bz
            info = tarfile.TarInfo(member_name(i) + ".xml")
            info.size = len(text)
            tar.addfile(info, io.BytesIO(text))
            path = mjlog / (member_name(i) + ".mjlog")
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(gz)
    new.commit()
    new.close()
    old.commit()
    old.close()


if __name__ == "__main__":
    build(
        pathlib.Path(sys.argv[1]),
        pathlib.Path(sys.argv[2]),
        int(sys.argv[3]) if len(sys.argv) > 3 else 100_000,
        int(sys.argv[4]) if len(sys.argv) > 4 else 2,
    )
