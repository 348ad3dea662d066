"""Seeds for fuzz_archive: small bundles of each kind and rows of both
database layouts, made from the XML records given, each prefixed with the
byte that picks its reader."""
import bz2, gzip, io, lzma, pathlib, sqlite3, sys, tarfile, tempfile, zipfile

records = sorted(pathlib.Path(sys.argv[1]).glob("*.xml"))[:3]
out = pathlib.Path(sys.argv[2])
texts = [r.read_bytes()[:4000] for r in records] or [b"<mjloggm ver=\"2.3\"></mjloggm>"]

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

tar = tar_bytes()
seeds = {
    "tar": b"\x00" + tar, "tgz": b"\x01" + gzip.compress(tar), "tbz": b"\x02" + bz2.compress(tar),
    "txz": b"\x03" + lzma.compress(tar), "zip": b"\x04" + zip_bytes(), "db-new": b"\x05" + db_bytes(False),
    "db-old": b"\x05" + db_bytes(True), "rows-new": b"\x06" + b"\x00" + rows(), "rows-old": b"\x06" + b"\x01" + rows(),
    "names": b"\x07" + b"2009022023gm-00e1-0000-c603794d\n../a.xml\n./a/b.mjlog\n/x.xml\na//b.xml\n",
}
for name, data in seeds.items():
    (out / name).write_bytes(data)
