#!/usr/bin/env bash
# Installs the dependencies, builds the program and its resources (release; no tests, no benchmarks)
# and opens Quiltdeck in a window (it needs a display).
#   scripts/run.sh
# The tests, the benchmarks and the developer tools (vantel-run, vantel-term, vantel-render) come
# from scripts/build.sh (see README).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh program >/dev/null
exec build/release/bin/quiltdeck "$@"
