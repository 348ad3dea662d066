#!/usr/bin/env bash
# The whole test suite: set-up, pytest on every CPython 3.12+ venv, and the
# C++ unit tests through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

status=0
for venv in .venv .venv-*; do
  [ -x "$venv/bin/python" ] || continue
  echo "== pytest on $("$venv/bin/python" -V)" >&2
  "$venv/bin/python" -m pytest -q "$@" || status=1
done

echo "== C++ unit tests" >&2
build=build/cpp-tests
# The venv carries cmake and ninja (test tools), so nothing else is assumed.
export PATH="$PWD/.venv/bin:$PATH"
cmake -S . -B "$build" -G Ninja -DPAIRO_BUILD_TESTS=ON -DPython_EXECUTABLE="$PWD/.venv/bin/python" >/dev/null
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" || status=1
exit $status
