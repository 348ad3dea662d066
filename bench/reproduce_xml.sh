#!/usr/bin/env bash
# The XML records' figures of bench/README.md, step by step: the reader's
# instructions by stage (C++, no interpreter), whole calls from Python by the
# difference method, then the command over 4,600 gzipped .mjlog files against
# their 4,600 compact twins (time, then instructions). Run from the checkout;
# each step prints what the figures are made of.
set -euo pipefail
cd "$(dirname "$0")/.."
export PATH="$PWD/.venv/bin:$PATH"
# reader instructions (C++, no interpreter); read_record collects 46 reads (23 loading, 23 timed), the others 23
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DPAIRO_BUILD_BENCH=ON -DPAIRO_BUILD_MODULE=OFF
cmake --build build/bench -j2 --target mjlog_bench
for stage in 'xml/ mjlog::read_record*' 'json/ tenhou::decode_raw_log*' 'write/ mjlog::write_tenhou6*' \
             'xml/ *bench_xml*lambda*' 'json/ *bench_json*lambda*'; do read -r filter symbol <<<"$stage"   # last two: whole paths
  valgrind --tool=callgrind --toggle-collect="$symbol" build/bench/bench/mjlog_bench \
      --benchmark_filter="$filter" --benchmark_min_time=0.0001
done
# whole calls from Python, after installing the package
.venv/bin/python -m pip install -q --no-build-isolation --no-deps .
for call in xml-str xml-bytes twin tenhou6; do for repeat in 1 3; do
  (cd bench && PYTHONHASHSEED=0 valgrind --tool=callgrind --callgrind-out-file=/dev/null \
     ../.venv/bin/python bench_mjlog.py --once $call $repeat 2>&1 | grep Collected)
done; done        # (collected with 3 - collected with 1) / 46 = one call
# the command: the 4,600 + 4,600 files, then passes alternating
python - <<'PY'
import csv, gzip, json, os, pathlib
root = pathlib.Path(os.environ.get("PAIRO_CORPUS", "../shared/corpus"))
for d in ("mjlog", "json"): pathlib.Path(f"/tmp/xmlcmd/{d}").mkdir(parents=True, exist_ok=True)
for row in csv.DictReader(open(root / "xml/MANIFEST.tsv", encoding="utf-8"), delimiter="\t"):
    xml = gzip.compress((root / "xml" / row["xml file"]).read_bytes())
    twin = json.dumps(json.loads((root / row["JSON twin"]).read_text(encoding="utf-8")),
                      separators=(",", ":"), ensure_ascii=False)
    for i in range(200):
        name = f"{row['xml file'][:-4]}-{i:03}"
        pathlib.Path(f"/tmp/xmlcmd/mjlog/{name}.mjlog").write_bytes(xml)
        pathlib.Path(f"/tmp/xmlcmd/json/{name}.json.gz").write_bytes(gzip.compress(twin.encode()))
PY
uptime; for pass in $(seq 21); do for kind in mjlog json; do
  rm -rf /tmp/xmlcmd/out-$kind
  PAIRO_REPORT_ELAPSED=1 .venv/bin/pairo /tmp/xmlcmd/$kind -o /tmp/xmlcmd/out-$kind -j 1 -q 2>&1 | grep engine
done; done
# the command's instructions: each folder, less a folder of one of its files
mkdir -p /tmp/xmlcmd1/mjlog /tmp/xmlcmd1/json && cp /tmp/xmlcmd/mjlog/mjlog2json-1-000.mjlog /tmp/xmlcmd1/mjlog/
cp /tmp/xmlcmd/json/mjlog2json-1-000.json.gz /tmp/xmlcmd1/json/
for root in /tmp/xmlcmd /tmp/xmlcmd1; do for kind in mjlog json; do
  rm -rf $root/out-$kind
  valgrind --tool=callgrind --callgrind-out-file=/dev/null \
      .venv/bin/pairo $root/$kind -o $root/out-$kind -j 1 -q 2>&1 | grep Collected
done; done
