#!/usr/bin/env bash
# Builds the release configuration and runs the engine benchmark; arguments go to it
# (e.g. scripts/bench.sh --quick, scripts/bench.sh --payload ascii --engine vantel).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh release
bench=build/release/bench/engine_bench
if [ ! -x "$bench" ]; then
  echo "bench: $bench was not built; it needs libvterm-dev and libtsm-dev (scripts/install-deps.sh)" >&2
  exit 1
fi
exec "$bench" "$@"
