#!/usr/bin/env bash
# The C++ unit tests built with clang 19 under ThreadSanitizer: the batch
# engine's workers, its queue of outcomes and its cancel flag, and the gzip
# room they use (their test files only are built). Any report fails the run.
#   ./scripts/test-tsan.sh [gtest filter]   (default: the engine and gzip tests)
set -euo pipefail
cd "$(dirname "$0")/.."
[ -x .venv/bin/cmake ] && export PATH="$PWD/.venv/bin:$PATH"
command -v clang++-19 >/dev/null || { echo "test-tsan: clang++-19 is needed" >&2; exit 1; }

build=build/tsan
sanitize="-fsanitize=thread -fno-omit-frame-pointer"
# The vendored C libraries are compiled by clang too: objects of gcc's beside
# clang's ThreadSanitizer bring in gcc's runtime as well, and the two runtimes
# claim the same address range at start-up.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_C_COMPILER=clang-19 -DCMAKE_CXX_COMPILER=clang++-19 \
  -DCMAKE_C_FLAGS="-O1 -g" -DCMAKE_CXX_FLAGS="-O1 -g $sanitize" -DCMAKE_EXE_LINKER_FLAGS="$sanitize" \
  -DPAIRO_BUILD_MODULE=OFF -DPAIRO_BUILD_TESTS=ON -DPAIRO_TEST_FILES="batch_*_test.cpp;gzip_test.cpp" >/dev/null
cmake --build "$build" -j 2 --target pairo_tests

filter=${1:-'Engine.*:Converters.*:Plan.*:*OutputName*:Inflate.*:*RoundTrip*'}
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 exitcode=66" \
  "$build/tests/cpp/pairo_tests" --gtest_filter="$filter"
