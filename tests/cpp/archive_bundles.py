"""Writes the bundles the container tests read: every bundle kind holding
the same members (nested folders, gzipped members, a bomb, unsafe names,
links, a device, a file that is no log), made from the XML records given.
    python3 archive_bundles.py OUT_FOLDER RECORD.xml RECORD.xml
"""
import bz2, gzip, io, lzma, pathlib, sys, tarfile, zipfile

out = pathlib.Path(sys.argv[1])
a, b = (pathlib.Path(p).read_bytes() for p in sys.argv[2:4])
bomb = gzip.compress(b"\0" * ((64 << 20) + 1), compresslevel=1)
long_folder = "long-" + "f" * 120

files = [  # name, bytes, tar type or None
    ("2019/", b"", tarfile.DIRTYPE),
    ("2019/01/a.mjlog", gzip.compress(a), None),
    ("./2019/02/b.xml", b, None),
    (long_folder + "/c.json.gz", gzip.compress(b), None),
    ("README.txt", b"notes", None),
    ("../evil.xml", a, None),
    ("/abs.xml", a, None),
    ("bomb.mjlog", bomb, None),
    ("2019/03/bz.xml.bz2", bz2.compress(a), None),
]

def tar_bytes():
    buf = io.BytesIO()
    with tarfile.open(fileobj=buf, mode="w", format=tarfile.PAX_FORMAT) as tar:
        for name, data, kind in files:
            info = tarfile.TarInfo(name)
            if kind:
                info.type = kind
            else:
                info.size = len(data)
            tar.addfile(info, io.BytesIO(data))
        for name, kind in (("link.xml", tarfile.SYMTYPE), ("hard.xml", tarfile.LNKTYPE), ("dev.xml", tarfile.CHRTYPE)):
            info = tarfile.TarInfo(name)
            info.type = kind
            info.linkname = "2019/02/b.xml"
            tar.addfile(info)
        huge = tarfile.TarInfo("huge.xml")
        huge.size = (64 << 20) + 1
        tar.addfile(huge, io.BytesIO(b"\0" * huge.size))
        last = tarfile.TarInfo("z/last.xml")
        last.size = len(a)
        tar.addfile(last, io.BytesIO(a))
    return buf.getvalue()

tar = tar_bytes()
(out / "set.tar").write_bytes(tar)
(out / "set.tar.gz").write_bytes(gzip.compress(tar, compresslevel=1))
(out / "set.tgz").write_bytes(gzip.compress(tar, compresslevel=1))
(out / "set.tar.bz2").write_bytes(bz2.compress(tar, compresslevel=1))
(out / "set.tar.xz").write_bytes(lzma.compress(tar, preset=0))
(out / "cut.tar.gz").write_bytes(gzip.compress(tar[: len(tar) // 2 + 100]))
(out / "cut.tar").write_bytes(tar[:1024 + 300])

with zipfile.ZipFile(out / "set.zip", "w") as z:
    for name, data, kind in files:
        if name.endswith("/"):
            z.writestr(zipfile.ZipInfo(name), b"")
            continue
        info = zipfile.ZipInfo(name)
        info.compress_type = zipfile.ZIP_STORED if name.endswith((".mjlog", ".gz")) else zipfile.ZIP_DEFLATED
        z.writestr(info, data)
    link = zipfile.ZipInfo("link.xml")
    link.create_system = 3
    link.external_attr = 0o120777 << 16
    z.writestr(link, "2019/02/b.xml")
    z.writestr("z/last.xml", a, compress_type=zipfile.ZIP_DEFLATED)
zip_bytes = (out / "set.zip").read_bytes()
(out / "cut.zip").write_bytes(zip_bytes[: len(zip_bytes) - 30])
