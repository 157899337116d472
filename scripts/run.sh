#!/usr/bin/env bash
# Installs the dependencies, builds (release) and opens Quiltdeck in a window (it needs a display).
#   scripts/run.sh
# The developer tool that runs one program behind the engine with no window stays at
# build/release/tools/vantel-run (see README).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh release >/dev/null
exec build/release/bin/quiltdeck "$@"
