#!/usr/bin/env bash
# wall_bench in a real GTK window on a virtual X display, at scale 1 and 2 (GDK_SCALE). Xvfb and the
# window manager are started and ended here, each by its process id. Arguments go on to wall_bench.
#   bench/wall_bench.sh [wall_bench options]
#   WALL_BENCH=/path/to/another/wall_bench bench/wall_bench.sh ...   (another build, to compare)
set -euo pipefail
bin="$(realpath -m "${WALL_BENCH:-$(dirname "$0")/../build/release/bench/wall_bench}")"
cd "$(dirname "$0")/.."
[ -x "$bin" ] || { echo "build first: scripts/build.sh release" >&2; exit 2; }
work="$(mktemp -d)"
xvfb=""; wm=""
stop() { [ -n "$1" ] && { kill "$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true; }; }
trap 'stop "$wm"; stop "$xvfb"; rm -rf "$work"' EXIT
Xvfb -displayfd 3 -screen 0 3840x2400x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")" NO_AT_BRIDGE=1
openbox >/dev/null 2>&1 &
wm=$!
sleep 0.5
GDK_SCALE=1 "$bin" --window "$@"
GDK_SCALE=2 "$bin" --window "$@"
