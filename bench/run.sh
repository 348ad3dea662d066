#!/usr/bin/env bash
# Builds the module and the benchmarks in Release form into build/bench, then
# runs them over every log of $PAIRO_CORPUS/real (default ../shared/corpus):
#   1. tenhou_to_mjai against json.loads, log by log, from Python;
#   2. a collection: every log once in turn, each from a fresh str of its
#      own, against json.loads, and against another build of the module
#      when PAIRO_BASELINE names its _pairo extension file;
#   3. the stages of a call against its floor and json.loads (Google Benchmark,
#      inside an embedded interpreter), with the throughput figures;
#   4. the peak memory of a call against its input and output;
#   5. mjlog_to_mjai of each XML game record of $PAIRO_CORPUS/xml against
#      tenhou_to_mjai of its JSON twin, and mjlog_to_tenhou6 (the installed
#      package's pairo._native).
# Arguments are passed to pipeline_bench (Google Benchmark flags, e.g.
# --benchmark_repetitions=3). BENCH_MIN_TIME sets its time per figure (0.05 s).
set -euo pipefail
cd "$(dirname "$0")/.."

. scripts/find-python.sh
python=${PYTHON:-$(find_python)} ||
  { echo "bench: no CPython 3.12 or newer found (run ./scripts/setup.sh)" >&2; exit 1; }
# The interpreter itself, not a virtual environment's link to it, so that
# CMake finds the libpython the benchmarks embed.
base_python=$("$python" -c 'import sys; print(getattr(sys, "_base_executable", sys.executable))')

cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DPAIRO_BUILD_BENCH=ON \
  -DPAIRO_BUILD_TESTS=OFF -DPAIRO_BUILD_MODULE=ON -DPython_EXECUTABLE="$base_python" >/dev/null
cmake --build build/bench -j 2

echo
PYTHONPATH=build/bench "$python" bench/bench_module.py
echo
PYTHONPATH=build/bench "$python" bench/bench_collection.py ${PAIRO_BASELINE:+--baseline "$PAIRO_BASELINE"}
echo
build/bench/bench/pipeline_bench --benchmark_min_time="${BENCH_MIN_TIME:-0.05}" "$@"
echo
build/bench/bench/memory_bench
echo
PYTHONPATH=build/bench "$python" bench/bench_mjlog.py
