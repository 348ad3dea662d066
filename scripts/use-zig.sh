# Sourced by the scripts that build for other platforms: Zig's toolchain from
# PyPI, at the pinned version, in the packaging tools' venv (build/tools),
# installed when missing; pairo_tools_venv installs more tools there.
# Exports PAIRO_ZIG (the zig executable), which cmake/zig/toolchain.cmake and
# its compiler wrappers read.
#
# The version is pinned: 0.15.2's libc++ headers make every
# `std::unexpected(...)` ambiguous.
PAIRO_ZIG_VERSION=0.14.1
pairo_tools_venv() {
  local tools=build/tools python
  if [ ! -x "$tools/bin/python" ] || ! "$tools/bin/python" -c 'import sys' 2>/dev/null; then
    python=$(find_python) || { echo "no CPython 3.12 or newer found" >&2; return 1; }
    rm -rf "$tools"
    "$python" -m venv "$tools"
  fi
  "$tools/bin/python" -m pip install -q --disable-pip-version-check "$@"
}
# With --tools-only, the venv alone (for a build without Zig).
[ "${1:-}" = --tools-only ] && return 0
pairo_tools_venv "ziglang==$PAIRO_ZIG_VERSION"
PAIRO_ZIG=$(build/tools/bin/python -c 'import os, ziglang; print(os.path.join(os.path.dirname(ziglang.__file__), "zig"))')
export PAIRO_ZIG
# The compiler wrappers are scripts whose text never changes: the cache
# tells Zig's versions apart by this instead.
export CCACHE_COMPILERCHECK="string:zig-$PAIRO_ZIG_VERSION"
