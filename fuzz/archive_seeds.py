"""Seeds for fuzz_archive (or, with `batch`, for fuzz_batch_archive): small
bundles of each kind and rows of both database layouts, made from the XML
records given, each prefixed with the byte that picks its reader (and, for
the engine, the byte of its run's options).
    archive_seeds.py XML_FOLDER OUT_FOLDER [batch]"""
import bz2, gzip, io, lzma, pathlib, sqlite3, sys, tarfile, tempfile, zipfile

records = sorted(pathlib.Path(sys.argv[1]).glob("*.xml"))[:3]
out = pathlib.Path(sys.argv[2])
batch = sys.argv[3:] == ["batch"]
# The engine converts only whole records: two of them, whole, fit the input bound once compressed.
texts = ([r.read_bytes() for r in records[:2]] if batch else [r.read_bytes()[:4000] for r in records]) or [
    b"<mjloggm ver=\"2.3\"></mjloggm>"]

def tar_bytes():
    buf = io.BytesIO()
    with tarfile.open(fileobj=buf, mode="w", format=tarfile.PAX_FORMAT) as tar:
        for i, text in enumerate(texts):
            for name, data in ((f"y/{i}.xml", text), (f"y/{i}.mjlog", gzip.compress(text))):
                info = tarfile.TarInfo(name); info.size = len(data)
                tar.addfile(info, io.BytesIO(data))
        link = tarfile.TarInfo("l.xml"); link.type = tarfile.SYMTYPE; link.linkname = "y/0.xml"
        tar.addfile(link)
    return buf.getvalue()

def zip_bytes():
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        for i, text in enumerate(texts):
            z.writestr(f"y/{i}.xml", text, compress_type=zipfile.ZIP_DEFLATED)
            z.writestr(f"s/{i}.xml.gz", gzip.compress(text), compress_type=zipfile.ZIP_STORED)
    return buf.getvalue()

def db_bytes(older):
    with tempfile.TemporaryDirectory() as d:
        path = pathlib.Path(d) / "x.db"
        db = sqlite3.connect(path)
        if older:
            db.execute("CREATE TABLE logs(log_id TEXT PRIMARY KEY, date TEXT, is_tonpusen INT, is_sanma INT,"
                       " is_processed INT, was_error INT, log_content TEXT, log_hash TEXT)")
            for i, text in enumerate(texts):
                db.execute("INSERT INTO logs VALUES(?,?,?,?,?,?,?,?)",
                           (f"200902202{i}gm-00a9-0000-c603794d", "", 0, 0, 1, 0, bz2.compress(text), ""))
        else:
            db.execute("CREATE TABLE logs(id TEXT PRIMARY KEY, date TEXT NOT NULL, num_players INT, is_tonpu INT,"
                       " is_processed INT, was_error INT, log BLOB) WITHOUT ROWID")
            for i, text in enumerate(texts):
                db.execute("INSERT INTO logs VALUES(?,?,?,?,?,?,?)",
                           (f"200902202{i}gm-00a9-0000-c603794d", "", 4, 0, 1, 0, gzip.compress(text)))
        db.commit(); db.close()
        return path.read_bytes()

def rows():
    parts = []
    for i, text in enumerate(texts):
        parts.append(f"200902202{i}gm-00a9-0000-c603794d".encode() + b"\xfe" + bytes([2]) + gzip.compress(text))
    parts.append(b"2009022023gm-00b9-0000-c603794d\xfe\x02" + bz2.compress(texts[0]))
    parts.append(b"../../x\xfe\x02abc")
    return b"\xff".join(parts)

def unsafe_tar_bytes():
    """Members whose names escape, collide on one output, or make a folder where an output goes."""
    buf = io.BytesIO()
    with tarfile.open(fileobj=buf, mode="w", format=tarfile.GNU_FORMAT) as tar:
        for name in ("../up.xml", "/abs.xml", "a/./b.xml", "c.xml", "c.mjlog", "d.xml", "d.mjai.jsonl/e.xml"):
            info = tarfile.TarInfo(name); info.size = len(texts[0][:2000])
            tar.addfile(info, io.BytesIO(texts[0][:2000]))
    return buf.getvalue()

def hostile_tar_bytes():
    """A global pax header over later members, and a file named like a folder whose data holds a header."""
    buf = io.BytesIO()
    with tarfile.open(fileobj=buf, mode="w", format=tarfile.PAX_FORMAT, pax_headers={"comment": "g"}) as tar:
        inner = io.BytesIO()
        with tarfile.open(fileobj=inner, mode="w") as hidden:
            info = tarfile.TarInfo("hidden.xml"); info.size = len(texts[0])
            hidden.addfile(info, io.BytesIO(texts[0]))
        folder = tarfile.TarInfo("looks/like/a/folder/"); folder.size = len(inner.getvalue())
        tar.addfile(folder, io.BytesIO(inner.getvalue()))
        info = tarfile.TarInfo("after.xml"); info.size = len(texts[0])
        tar.addfile(info, io.BytesIO(texts[0]))
    return buf.getvalue()

def overlapping_zip_bytes():
    """Two central entries on one member's data: the shape of a zip bomb."""
    data = bytearray(zip_bytes())
    end = data.rindex(b"PK\x05\x06")
    directory = int.from_bytes(data[end + 16:end + 20], "little")
    first_entry_offset = int.from_bytes(data[directory + 42:directory + 46], "little")
    second = data.index(b"PK\x01\x02", directory + 46)
    data[second + 42:second + 46] = first_entry_offset.to_bytes(4, "little")
    return bytes(data)

def view_db_bytes():
    with tempfile.TemporaryDirectory() as d:
        path = pathlib.Path(d) / "x.db"
        db = sqlite3.connect(path)
        db.execute("CREATE TABLE t(id TEXT PRIMARY KEY, num_players INT, is_processed INT, was_error INT, log BLOB)")
        db.execute("INSERT INTO t VALUES(?,?,?,?,?)", ("2009022020gm-00a9-0000-c603794d", 4, 1, 0, gzip.compress(texts[0])))
        db.execute("CREATE VIEW logs AS SELECT * FROM t")
        db.commit(); db.close()
        return path.read_bytes()

tar = tar_bytes()
if batch:
    # kinds: tar, tar.gz, TGZ, tar.bz2, tar.xz, zip, database file, database rows;
    # options: gzip 1, tenhou6 2, two threads 4, run again 8, the real conversion 16, in memory 32, fail-fast 64
    seeds = {
        "tgz-real": b"\x01\x1c" + gzip.compress(tar), "tgz-echo": b"\x02\x0d" + gzip.compress(tar),
        "tbz": b"\x03\x08" + bz2.compress(tar), "txz-memory": b"\x04\x34" + lzma.compress(tar),
        "zip": b"\x05\x1e" + zip_bytes(), "zip-fast": b"\x05\x44" + zip_bytes(),
        "db-new": b"\x06\x1d" + db_bytes(False), "db-old": b"\x06\x0a" + db_bytes(True),
        "rows-new": b"\x07\x0c\x00" + rows(), "rows-old": b"\x07\x3c\x01" + rows(),
        "unsafe": b"\x00\x0c" + unsafe_tar_bytes(), "unsafe-fast": b"\x00\x44" + unsafe_tar_bytes(),
        "hostile-tar": b"\x00\x0c" + hostile_tar_bytes(), "bomb-zip": b"\x05\x0c" + overlapping_zip_bytes(),
        "view-db": b"\x06\x0c" + view_db_bytes(),
    }
    for name, data in seeds.items():
        (out / name).write_bytes(data)
    sys.exit()
seeds = {
    "tar": b"\x00" + tar, "tgz": b"\x01" + gzip.compress(tar), "tbz": b"\x02" + bz2.compress(tar),
    "txz": b"\x03" + lzma.compress(tar), "zip": b"\x04" + zip_bytes(), "db-new": b"\x05" + db_bytes(False),
    "db-old": b"\x05" + db_bytes(True), "rows-new": b"\x06" + b"\x00" + rows(), "rows-old": b"\x06" + b"\x01" + rows(),
    "names": b"\x07" + b"2009022023gm-00e1-0000-c603794d\n../a.xml\n./a/b.mjlog\n/x.xml\na//b.xml\n",
    "hostile-tar": b"\x00" + hostile_tar_bytes(), "bomb-zip": b"\x04" + overlapping_zip_bytes(),
    "view-db": b"\x05" + view_db_bytes(),
}
for name, data in seeds.items():
    (out / name).write_bytes(data)
