# Sourced by the scripts that need one CPython 3.12 or newer:
#   find_python [MODULE...]  prints the absolute path of the first interpreter
#   (the project's .venv first) that is 3.12+ and can import every MODULE.
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
