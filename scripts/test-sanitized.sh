#!/usr/bin/env bash
# The test suite against a build with AddressSanitizer and
# UndefinedBehaviorSanitizer (g++): the C++ unit tests with leak detection,
# then pytest on the extension modules (the batch engine's threads included)
# with the sanitizer runtime preloaded into the interpreter. Python objects are allocated with malloc so that the
# sanitizer sees them too. Leak detection is off for the interpreter, which
# keeps memory until exit by design; tests/test_leaks.py covers the module.
#   ./scripts/test-sanitized.sh [pytest options...]
set -euo pipefail
cd "$(dirname "$0")/.."

. scripts/find-python.sh
python=${PAIRO_PYTHON:-$(find_python pytest)} ||
  { echo "test-sanitized: no CPython 3.12+ with pytest (run ./scripts/setup.sh)" >&2; exit 1; }
case "$python" in /*) ;; *) python="$PWD/$python" ;; esac  # pytest runs from tests/
[ -x .venv/bin/cmake ] && export PATH="$PWD/.venv/bin:$PATH"

build=build/asan
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
# -O1 with line tables only: a third of the build time of -O2 -g, and the
# reports still name files and lines. The C libraries of vendor/ are built
# without the sanitizers, as the system's copies were.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_COMPILER=g++ \
  -DCMAKE_C_FLAGS="-O1 -g1" -DCMAKE_CXX_FLAGS="-O1 -g1 $sanitize" -DCMAKE_EXE_LINKER_FLAGS="$sanitize" \
  -DCMAKE_MODULE_LINKER_FLAGS="$sanitize" -DCMAKE_SHARED_LINKER_FLAGS="$sanitize" \
  -DPAIRO_BUILD_TESTS=ON -DPython_EXECUTABLE="$python" >/dev/null
cmake --build "$build" -j 2

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# The package as an install lays it out, from the sanitized build: its
# sources with pairo._native beside them (the batch engine's entry points),
# and _pairo at the top.
site="$build/site"
rm -rf "$site"
mkdir -p "$site/pairo"
ln -s "$PWD"/python/pairo/* "$site/pairo/"
ln -s "$PWD/$build"/_native.*.so "$site/pairo/"
ln -s "$PWD/$build"/_pairo.*.so "$PWD/python/_pairo-stubs" "$site/"

status=0
echo "== C++ unit tests (ASan + UBSan, leak detection on)" >&2
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 ctest --test-dir "$build" --output-on-failure -j 2 || status=1

echo "== pytest on the sanitized module" >&2
libasan=$(g++ -print-file-name=libasan.so)
(
  export LD_PRELOAD="$libasan"
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
  export PYTHONMALLOC=malloc
  export PYTHONPATH="$PWD/$site"
  export PAIRO_SANITIZED=1
  cd tests
  "$python" -m pytest -q -p no:cacheprovider "$@"
) || status=1
exit $status
