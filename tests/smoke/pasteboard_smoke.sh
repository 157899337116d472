#!/usr/bin/env bash
# The clipboard on a real X display: pasteboard-probe owns the clipboard and reads it back through
# the general pasteboard, and reads it from owners in other processes that are late, silent,
# endless or slow. Xvfb is started and ended here by its process id.
#   tests/smoke/pasteboard_smoke.sh path/to/pasteboard-probe
set -euo pipefail
probe="$1"
work="$(mktemp -d)"
xvfb=""
cleanup() {
    if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "pasteboard_smoke: Xvfb did not start: $(cat "$work/xvfb.log")" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
# GTK keeps allocations for the life of the process; they are not ours to free. The freed memory
# the sanitizer holds back would hide whether a long read keeps what it read.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0:quarantine_size_mb=8"
"$probe"
