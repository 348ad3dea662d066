"""Builds the containers the archive read benchmark reads: COUNT distinct
records (corpus XML records, each with a leading comment of its own) as a
database of the newer layout (gzip blobs), one of the older layout (bzip2
blobs, 1% of rows a duplicate of an earlier row), and a .tar.gz bundle.
    python3 bench/make_archives.py CORPUS_XML_FOLDER OUT_FOLDER [COUNT]
"""
import bz2, gzip, io, pathlib, sqlite3, sys, tarfile

xml = sorted(pathlib.Path(sys.argv[1]).glob("*.xml"))
out = pathlib.Path(sys.argv[2])
count = int(sys.argv[3]) if len(sys.argv) > 3 else 100_000
out.mkdir(parents=True, exist_ok=True)
texts = [p.read_bytes() for p in xml]

def record(i):
    text = texts[i % len(texts)]
    head = text.index(b"?>") + 2 if text.startswith(b"<?xml") else 0
    return text[:head] + b"<!-- %d -->" % i + text[head:]

def game_id(i):
    return "%010dgm-00a9-0000-%08x" % (2019010100 + i // 24 * 100 + i % 24, i)

for name in ("new.db", "old.db", "set.tar.gz"):
    (out / name).unlink(missing_ok=True)

new = sqlite3.connect(out / "new.db")
new.execute("CREATE TABLE logs(id TEXT PRIMARY KEY, date TEXT NOT NULL, num_players INT, is_tonpu INT,"
            " is_processed INT, was_error INT, log BLOB) WITHOUT ROWID")
old = sqlite3.connect(out / "old.db")
old.execute("CREATE TABLE logs(log_id TEXT PRIMARY KEY, date TEXT, is_tonpusen INT, is_sanma INT,"
            " is_processed INT, was_error INT, log_content TEXT, log_hash TEXT)")
with tarfile.open(out / "set.tar.gz", "w:gz", compresslevel=6) as tar:
    for i in range(count):
        text = record(i)
        new.execute("INSERT INTO logs VALUES(?,?,?,?,?,?,?)", (game_id(i), "", 4, 0, 1, 0, gzip.compress(text, 6)))
        # One row in a hundred holds the record of the row before it.
        old_text = record(i - 1) if i % 100 == 99 else text
        old.execute("INSERT INTO logs VALUES(?,?,?,?,?,?,?,?)",
                    (game_id(i), "", 0, 0, 1, 0, bz2.compress(old_text, 9), ""))
        info = tarfile.TarInfo("%d/%s.xml" % (i // 10000, game_id(i)))
        info.size = len(text)
        tar.addfile(info, io.BytesIO(text))
new.commit(); new.close()
old.commit(); old.close()
