#!/usr/bin/env bash
# The main job: set up, then convert the bundled sample log and print its events.
set -euo pipefail
cd "$(dirname "$0")/.."
PAIRO_ONLY_FIRST_PYTHON=1 ./scripts/setup.sh
exec .venv/bin/pairo examples/sample.json
