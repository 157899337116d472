#!/usr/bin/env bash
# launch_bench in a real GTK window on a virtual X display (tests/smoke/on_xvfb.sh starts and ends
# Xvfb); Xvfb is not pinned, the bench pins itself. Arguments go on to launch_bench.
#   bench/launch_bench.sh [launch_bench options]
#   LAUNCH_BENCH=/path/to/another/launch_bench bench/launch_bench.sh ...   (another build, to compare)
set -euo pipefail
bin="$(realpath -m "${LAUNCH_BENCH:-$(dirname "$0")/../build/release/bench/launch_bench}")"
cd "$(dirname "$0")/.."
[ -x "$bin" ] || { echo "build first: scripts/build.sh release" >&2; exit 2; }
NO_AT_BRIDGE=1 XVFB_SCREEN=3840x2400x24 tests/smoke/on_xvfb.sh "$bin" "$@"
