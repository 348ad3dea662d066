# Sourced by the scripts that need CPython 3.12 or newer:
#   find_python [MODULE...]  prints the absolute path of the first interpreter
#   (the project's .venv first) that is 3.12+ and can import every MODULE.
#   find_pythons             prints "MINOR PATH" for every CPython 3.12+ on
#   the machine, one per minor version, the oldest first.
find_python() {
  local check="import sys; sys.exit(sys.version_info < (3, 12))"
  local module
  for module in "$@"; do check="$check; import $module"; done
  local candidate
  for candidate in .venv/bin/python python3.12 python3.13 python3; do
    if command -v "$candidate" >/dev/null && "$candidate" -c "$check" 2>/dev/null; then
      case "$candidate" in /*) echo "$candidate" ;; */*) echo "$PWD/$candidate" ;; *) command -v "$candidate" ;; esac
      return 0
    fi
  done
  return 1
}

find_pythons() {
  local candidates=() seen=" "
  for v in 3.12 3.13 3.14; do
    candidates+=("python$v")
    for d in "${PYENV_ROOT:-$HOME/.pyenv}"/versions/"$v"*/bin/python"$v"; do
      [ -x "$d" ] && candidates+=("$d")
    done
    candidates+=("/usr/bin/python$v" "/usr/local/bin/python$v")
  done
  candidates+=(python3)
  for c in "${candidates[@]}"; do
    local exe minor
    exe=$(command -v "$c" 2>/dev/null) || continue
    minor=$("$exe" -c 'import sys; print("%d.%d" % sys.version_info[:2]) if sys.version_info >= (3, 12) else None' 2>/dev/null) || continue
    [ -n "$minor" ] && [ "$minor" != "None" ] || continue
    case "$seen" in *" $minor "*) continue ;; esac
    seen="$seen$minor "
    echo "$minor $exe"
  done
}
