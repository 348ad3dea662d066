#!/usr/bin/env bash
# Builds one of the fuzz targets (clang 19, ASan + UBSan, libFuzzer) and runs
# it for the given number of seconds (default 60), seeded with the shared
# game logs: `pipeline` (the default) on JSON logs, `mjlog` on XML records,
# `archive` on bundles and databases built from the XML records, and
# `batch_archive`, the engine on such containers as the command runs it, and
# `validate`, the replay on the mjai streams pairo writes for the logs
# (written by .venv's pairo, or PAIRO_PYTHON's).
# Only the target run is built. New inputs go to build/fuzz/corpus[-TARGET],
# crashes to build/fuzz/artifacts[-TARGET].
#   ./fuzz/run.sh [pipeline|mjlog|archive|batch_archive|validate] [seconds] [extra libFuzzer options...]
#   ./fuzz/run.sh mjlog 0 build/fuzz/artifacts-mjlog/crash-...   # replays one input
set -euo pipefail
cd "$(dirname "$0")/.."
target=pipeline
case "${1:-}" in pipeline|mjlog|archive|batch_archive|validate) target=$1; shift ;; esac
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
cmake -S fuzz -B "$build" "${generator[@]}" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_C_COMPILER="${cxx/clang++/clang}" >/dev/null
cmake --build "$build" -j 2 --target "fuzz_$target" >/dev/null

# Reports name functions and lines only through llvm-symbolizer (package llvm-19).
if [ -z "${ASAN_SYMBOLIZER_PATH:-}" ]; then
  for symbolizer in /usr/lib/llvm-19/bin/llvm-symbolizer "$(command -v llvm-symbolizer || true)"; do
    [ -x "$symbolizer" ] && { export ASAN_SYMBOLIZER_PATH=$symbolizer; break; }
  done
fi

if [ "$target" = mjlog ]; then
  suffix=-mjlog dict=fuzz/mjlog.dict seed_folders=(xml)
elif [ "$target" = archive ]; then
  suffix=-archive dict=fuzz/archive.dict seed_folders=()
  mkdir -p "$build/seeds-archive"
  python3 fuzz/archive_seeds.py "$corpus_root/xml" "$build/seeds-archive"
elif [ "$target" = batch_archive ]; then
  suffix=-batch-archive dict=fuzz/archive.dict seed_folders=()
  mkdir -p "$build/seeds-batch-archive"
  python3 fuzz/archive_seeds.py "$corpus_root/xml" "$build/seeds-batch-archive" batch
elif [ "$target" = validate ]; then
  suffix=-validate dict=fuzz/mjai.dict seed_folders=() max_len=262144  # whole games
  mkdir -p "$build/seeds-validate"
  "${PAIRO_PYTHON:-.venv/bin/python}" fuzz/validate_seeds.py "$corpus_root" "$build/seeds-validate"
else
  suffix= dict=fuzz/tenhou.dict seed_folders=(real real-rounds real-broken real3p sim)
fi
mkdir -p "$build/corpus$suffix" "$build/artifacts$suffix"
options=(-dict="$dict" -max_len=${max_len:-65536} -timeout=10 -rss_limit_mb=4096
         -artifact_prefix="$build/artifacts$suffix/" -print_final_stats=1)

# Replaying given inputs (files, not folders) runs each once.
if [ "$#" -gt 0 ] && [ -f "$1" ]; then
  exec "$build/fuzz_$target" "${options[@]}" "$@"
fi

seeds=()
for folder in "${seed_folders[@]}"; do
  [ -d "$corpus_root/$folder" ] && seeds+=("$corpus_root/$folder")
done
[ "$target" = archive ] && seeds+=("$build/seeds-archive")
[ "$target" = batch_archive ] && seeds+=("$build/seeds-batch-archive")
[ "$target" = validate ] && seeds+=("$build/seeds-validate")
[ "${#seeds[@]}" -gt 0 ] || echo "fuzz: no seed logs under $corpus_root; starting from nothing" >&2
exec "$build/fuzz_$target" "${options[@]}" -max_total_time="$seconds" "$@" "$build/corpus$suffix" "${seeds[@]}"
