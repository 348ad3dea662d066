#!/usr/bin/env bash
# Prepares everything pairo needs on a fresh Debian machine, then installs it:
# the system packages for working on it (the build itself needs only g++, its
# libraries are compiled from vendor/), a CPython 3.12 or newer, the virtual
# environment .venv (and .venv-<version> for each further CPython found) with
# pairo and its test tools. Safe to run again: it only does what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

need_packages=()
[ -d /usr/include/gtest ] || need_packages+=(libgtest-dev)
[ -d /usr/include/benchmark ] || need_packages+=(libbenchmark-dev)
command -v g++ >/dev/null || need_packages+=(g++)
command -v ccache >/dev/null || need_packages+=(ccache)
# The fuzz smoke of the tests needs clang 19 and its sanitizer runtimes: CI
# installs them, elsewhere PAIRO_FUZZ_TOOLS=1 asks for them.
fuzz_packages=()
if { [ "${CI:-}" = true ] || [ "${PAIRO_FUZZ_TOOLS:-0}" = 1 ]; } && ! command -v clang++-19 >/dev/null; then
  fuzz_packages=(clang-19 libclang-rt-19-dev llvm-19)
fi
if [ "${#need_packages[@]}" -gt 0 ] || [ "${#fuzz_packages[@]}" -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
fi
if [ "${#need_packages[@]}" -gt 0 ]; then
  echo "setup: installing ${need_packages[*]}" >&2
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${need_packages[@]}" </dev/null
fi
if [ "${#fuzz_packages[@]}" -gt 0 ]; then
  echo "setup: installing ${fuzz_packages[*]}" >&2
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${fuzz_packages[@]}" </dev/null >/dev/null ||
    echo "setup: clang-19 could not be installed; the fuzz smoke will be skipped" >&2
fi

. scripts/use-ccache.sh
. scripts/find-python.sh
mapfile -t pythons < <(find_pythons)
if [ "${#pythons[@]}" -eq 0 ]; then
  echo "setup: no CPython 3.12 or newer found; install python3.12 or python3.13" >&2
  exit 1
fi

make_venv() {  # venv-dir python-exe
  local dir=$1 exe=$2
  if [ ! -x "$dir/bin/python" ] || ! "$dir/bin/python" -c 'import sys' 2>/dev/null; then
    rm -rf "$dir"
    "$exe" -m venv "$dir"
  fi
  "$dir/bin/python" -m pip install -q --disable-pip-version-check --upgrade pip >/dev/null
  "$dir/bin/python" -m pip install -q --disable-pip-version-check ".[test]"
}

first=1
for entry in "${pythons[@]}"; do
  minor=${entry%% *}
  exe=${entry#* }
  if [ "$first" -eq 1 ]; then dir=.venv; first=0; else dir=.venv-$minor; fi
  [ "${PAIRO_ONLY_FIRST_PYTHON:-0}" = 1 ] && [ "$dir" != .venv ] && continue
  echo "setup: CPython $minor ($exe) -> $dir" >&2
  make_venv "$dir" "$exe"
done
