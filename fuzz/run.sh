#!/usr/bin/env bash
# Builds the pipeline fuzz target (clang 19, ASan + UBSan, libFuzzer) and runs
# it for the given number of seconds (default 60), seeded with the shared
# game logs. New inputs go to build/fuzz/corpus, crashes to build/fuzz/artifacts.
#   ./fuzz/run.sh [seconds] [extra libFuzzer options...]
#   ./fuzz/run.sh 0 build/fuzz/artifacts/crash-...   # replays one input
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true

cxx=${PAIRO_FUZZ_CXX:-}
if [ -z "$cxx" ]; then
  for c in clang++-19 clang++-20 clang++; do
    command -v "$c" >/dev/null && { cxx=$c; break; }
  done
fi
[ -n "$cxx" ] || { echo "fuzz: no clang++ found (apt-get install clang-19 libclang-rt-19-dev)" >&2; exit 1; }

build=build/fuzz
corpus_root=${PAIRO_CORPUS:-../shared/corpus}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S fuzz -B "$build" "${generator[@]}" -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$build" -j 2 >/dev/null

# Reports name functions and lines only through llvm-symbolizer (package llvm-19).
if [ -z "${ASAN_SYMBOLIZER_PATH:-}" ]; then
  for symbolizer in /usr/lib/llvm-19/bin/llvm-symbolizer "$(command -v llvm-symbolizer || true)"; do
    [ -x "$symbolizer" ] && { export ASAN_SYMBOLIZER_PATH=$symbolizer; break; }
  done
fi

mkdir -p "$build/corpus" "$build/artifacts"
options=(-dict=fuzz/tenhou.dict -max_len=65536 -timeout=10 -rss_limit_mb=4096
         -artifact_prefix="$build/artifacts/" -print_final_stats=1)

# Replaying given inputs (files, not folders) runs each once.
if [ "$#" -gt 0 ] && [ -f "$1" ]; then
  exec "$build/fuzz_pipeline" "${options[@]}" "$@"
fi

seeds=()
for folder in real real-rounds real-broken real3p sim; do
  [ -d "$corpus_root/$folder" ] && seeds+=("$corpus_root/$folder")
done
[ "${#seeds[@]}" -gt 0 ] || echo "fuzz: no seed logs under $corpus_root; starting from nothing" >&2
exec "$build/fuzz_pipeline" "${options[@]}" -max_total_time="$seconds" "$@" "$build/corpus" "${seeds[@]}"
