#!/usr/bin/env bash
# Runs a program on a virtual X display with GTK's simple input method, so that dead keys compose
# the same everywhere. Xvfb is started and ended here by its process id.
#   tests/smoke/on_xvfb.sh program [args...]
# XVFB_SCREEN sets the screen (800x600x24 when unset).
set -euo pipefail
work="$(mktemp -d)"
xvfb=""
cleanup() {
    if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-800x600x24}" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "on_xvfb: Xvfb did not start: $(cat "$work/xvfb.log")" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
export GTK_IM_MODULE=gtk-im-context-simple
# GTK keeps allocations for the life of the process; they are not ours to free.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
"$@"
