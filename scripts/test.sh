#!/usr/bin/env bash
# The whole test suite: set-up, pytest on every CPython 3.12+ venv, the tests
# of a built sdist and wheel, the C++ unit tests through CTest and pytest again
# under ASan + UBSan, the engine under ThreadSanitizer, and a short fuzz run.
set -euo pipefail
cd "$(dirname "$0")/.."
# Each part of the run says when it starts, counted from the run's start, so
# that a slow part shows in CI's log.
section() { echo "== $* (at $((SECONDS / 60))m$((SECONDS % 60))s)" >&2; }

section "set-up"
./scripts/setup.sh
. scripts/use-ccache.sh

status=0
for venv in .venv .venv-*; do
  [ -x "$venv/bin/python" ] || continue
  section "pytest on $("$venv/bin/python" -V)"
  "$venv/bin/python" -m pytest -q "$@" || status=1
done

# The venv carries cmake and ninja (test tools), so nothing else is assumed.
export PATH="$PWD/.venv/bin:$PATH"
# The C++ unit tests run in the sanitized suite below; an optimised build of
# them of its own is made only when that suite is left out.
if [ "${PAIRO_SANITIZED_TESTS:-1}" = 0 ]; then
  section "C++ unit tests"
  build=build/cpp-tests
  cmake -S . -B "$build" -G Ninja -DPAIRO_BUILD_TESTS=ON -DPython_EXECUTABLE="$PWD/.venv/bin/python" >/dev/null
  cmake --build "$build" -j "$(nproc)"
  ctest --test-dir "$build" --output-on-failure -j "$(nproc)" || status=1
fi

# The sdist, and two wheels built from it by the machine's compiler without
# the libraries' development files (the first CPython's and the abi3 one,
# which keeps the limited API honest), tested as the release's are; ./scripts/build-wheels.sh builds the release's own with Zig, which
# takes longer than this run may. PAIRO_ARTIFACT_TESTS=0 leaves them out.
if [ "${PAIRO_ARTIFACT_TESTS:-1}" != 0 ]; then
  section "release artefacts"
  PAIRO_WHEELS=host ./scripts/build-wheels.sh || status=1
fi

# The suite again under ASan + UBSan, then a short fuzz run of each target
# (JSON logs, XML records; the budget split between them) where clang 19 is
# there. PAIRO_SANITIZED_TESTS=0 and PAIRO_FUZZ_SECONDS=0 leave them out.
if [ "${PAIRO_SANITIZED_TESTS:-1}" != 0 ]; then
  section "sanitized suite"
  ./scripts/test-sanitized.sh "$@" || status=1
fi
# The batch engine's threads under ThreadSanitizer (clang 19): always under
# CI, where set-up installs clang; elsewhere where clang 19 is there.
# PAIRO_TSAN_TESTS=0 leaves them out.
if [ "${PAIRO_TSAN_TESTS:-1}" != 0 ] && { [ "${CI:-}" = true ] || command -v clang++-19 >/dev/null; }; then
  section "engine tests under ThreadSanitizer"
  ./scripts/test-tsan.sh || status=1
fi
fuzz_seconds=${PAIRO_FUZZ_SECONDS:-20}
if [ "$fuzz_seconds" != 0 ] && command -v clang++-19 >/dev/null; then
  mkdir -p build
  each=$(( fuzz_seconds > 1 ? fuzz_seconds / 2 : 1 ))  # 0 would mean no time limit
  for target in pipeline mjlog; do
    section "fuzzing $target for ${each}s"
    if ./fuzz/run.sh "$target" "$each" >"build/fuzz-smoke-$target.log" 2>&1; then
      grep -E "^#[0-9]+[[:space:]]+DONE" "build/fuzz-smoke-$target.log" >&2 || true
    else
      tail -n 60 "build/fuzz-smoke-$target.log" >&2
      status=1
    fi
  done
elif [ "$fuzz_seconds" != 0 ]; then
  echo "== fuzz smoke skipped: no clang++-19 (PAIRO_FUZZ_TOOLS=1 ./scripts/setup.sh installs it)" >&2
fi
section "done, $([ $status = 0 ] && echo passed || echo FAILED)"
exit $status
