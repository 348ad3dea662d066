#!/usr/bin/env bash
# The C++ test suite built with Zig's toolchain for another platform and run
# there through an emulator, one platform after another: for each, one line
# `PLATFORM: N passed, N failed` on standard output (the build's and the
# run's own output go to build/cross-<target>/log). Exits non-zero when a
# test failed or a platform could not be built or run. Installs what it
# needs when missing: Zig (pinned, in build/tools), and from Debian
# qemu-user-static with an aarch64 glibc (libc6-arm64-cross) and GoogleTest's
# sources (libgtest-dev).
#   aarch64-linux   aarch64-linux-gnu.2.17 under qemu-aarch64-static
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/find-python.sh
. scripts/use-ccache.sh
. scripts/use-zig.sh

missing=()
command -v qemu-aarch64-static >/dev/null || missing+=(qemu-user-static)
[ -e /usr/aarch64-linux-gnu/lib/ld-linux-aarch64.so.1 ] || missing+=(libc6-arm64-cross)
[ -d /usr/src/googletest/googletest ] || missing+=(libgtest-dev)
command -v ninja >/dev/null || [ -x .venv/bin/ninja ] || missing+=(ninja-build)
if [ "${#missing[@]}" -gt 0 ]; then
  echo "test-cross: installing ${missing[*]}" >&2
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" >&2
fi
[ -d .venv/bin ] && export PATH="$PWD/.venv/bin:$PATH"

# run_platform NAME TARGET EMULATOR...: builds the tests for TARGET, runs them
# under the emulator and prints NAME's line.
status=0
run_platform() {
  local name=$1 target=$2
  shift 2
  local build="build/cross-$target" report
  report="$PWD/$build/tests.json"
  mkdir -p "$build"
  echo "test-cross: $name: building for $target" >&2
  if ! PAIRO_ZIG_TARGET=$target cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
         -DCMAKE_TOOLCHAIN_FILE=cmake/zig/toolchain.cmake -DPAIRO_BUILD_MODULE=OFF -DPAIRO_BUILD_TESTS=ON \
         -DPAIRO_GTEST_SOURCE_DIR=/usr/src/googletest >"$build/log" 2>&1 ||
     ! PAIRO_ZIG_TARGET=$target cmake --build "$build" -j "$(nproc)" --target pairo_tests >>"$build/log" 2>&1; then
    tail -n 30 "$build/log" >&2
    echo "$name: build failed"
    status=1
    return
  fi
  echo "test-cross: $name: running under $1" >&2
  rm -f "$report"
  # The test binary exits non-zero on a failure; the count comes from its report.
  "$@" "$build/tests/cpp/pairo_tests" --gtest_brief=1 --gtest_output="json:$report" >>"$build/log" 2>&1 || true
  if [ ! -s "$report" ]; then
    tail -n 30 "$build/log" >&2
    echo "$name: run failed"
    status=1
    return
  fi
  local counts
  counts=$(python3 -c 'import json, sys
r = json.load(open(sys.argv[1]))
failed = r["failures"] + r["errors"]
print(r["tests"] - failed - r.get("disabled", 0) - sum(1 for s in r["testsuites"] for t in s["testsuite"] if t.get("result") == "SKIPPED"), failed)' "$report")
  local passed=${counts% *} failed=${counts#* }
  echo "$name: $passed passed, $failed failed"
  [ "$failed" = 0 ] || status=1
}

run_platform aarch64-linux aarch64-linux-gnu.2.17 qemu-aarch64-static -L /usr/aarch64-linux-gnu
exit $status
