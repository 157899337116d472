#!/usr/bin/env bash
# The program in a real window on a virtual X display, on a session bus of its own (run it under
# dbus-run-session): the window comes up; a second start hands over to the first and exits 0; a
# start on the same state folder outside the bus's uniqueness is refused with exit 1 and leaves the
# log alone; a shell tile gets F10 as ESC [21~ and Alt+s as ESC s (the menu bar never takes them)
# and ESC for Ctrl+Shift+S; Ctrl+Shift+Q asks while the tile runs and Return quits; the next start
# restores the tile and SIGTERM ends it; each end has exit 0, the tile in state.json, no tile's
# child left, "quit" last in the log and no run marker. Xvfb, the window manager and every program
# started here are ended here, each by its own process id.
#   tests/smoke/quiltdeck_smoke.sh path/to/quiltdeck [screenshot.png]
set -euo pipefail
app_bin="$1"
shot="${2:-quiltdeck_smoke.png}"
work="$(mktemp -d)"
xvfb=""; wm=""; app=""; other=""

stop() {
    local pid="$1"
    [ -n "$pid" ] || return 0
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}
cleanup() {
    stop "$other"; stop "$app"; stop "$wm"; stop "$xvfb"
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "quiltdeck_smoke: $*" >&2; exit 1; }
# Waits up to $1 tenths of a second for the command that follows to succeed.
within() {
    local tenths="$1"; shift
    for _ in $(seq "$tenths"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    return 1
}
[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || fail "no session bus (run under dbus-run-session)"

Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
within 100 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n1 "$work/display")"
openbox >"$work/wm.log" 2>&1 &
wm=$!
within 50 xprop -root _NET_SUPPORTING_WM_CHECK || fail "openbox did not start"

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" SHELL=/bin/bash
# No accessibility bus: nothing here reads it.
export NO_AT_BRIDGE=1
mkdir -p "$HOME"
unset QUILTDECK_STATE_DIR BRIGHTLOOM_STATE_DIR
state="$HOME/.quiltdeck"
# GTK and fontconfig keep allocations for the life of the process; they are not ours to free.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

start() {
    "$app_bin" >"$work/app.out" 2>"$work/app.err" &
    app=$!
    # Asked again and again: `xdotool search` dies on a window that goes away while it looks.
    within 200 bash -c "xdotool search --onlyvisible --name '^Quiltdeck' | grep -q ." ||
        fail "no window: $(cat "$work/app.err")"
    within 50 test -f "$state/running" || fail "no run marker"
}
# Waits for the program to end; its exit status in $status.
ended() {
    within 100 bash -c "! kill -0 $app" || fail "the program did not end"
    status=0
    wait "$app" || status=$?
    app=""
}
log_ends_cleanly() {
    tail -n1 "$state/log.txt" | grep -q '  quit$' || fail "the log does not end with quit: $(tail -n3 "$state/log.txt")"
    ! grep -q CRASH "$state/log.txt" || fail "a CRASH line: $(grep CRASH "$state/log.txt")"
    [ ! -e "$state/running" ] || fail "the run marker was left"
}

# --- The window, and a second start that hands over --------------------------------------------
start
sleep 1
import -window root "$shot"
colours="$(identify -format '%k' "$shot")"
[ "$colours" -gt 2 ] || fail "the screenshot is blank ($colours colours)"

status=0
timeout 20 "$app_bin" >"$work/second.out" 2>"$work/second.err" || status=$?
[ "$status" -eq 0 ] || fail "a second start ended with $status: $(cat "$work/second.err")"
kill -0 "$app" || fail "the first program ended with the second start"

# --- The same folder outside the bus's uniqueness: refused, the log left alone -----------------
lines="$(wc -l <"$state/log.txt")"
QUILTDECK_STATE_DIR="$state" "$app_bin" >"$work/refused.out" 2>"$work/refused.err" &
other=$!
refused() { grep -q "Quiltdeck is already running with $state" "$work/refused.err"; }
within 100 refused || fail "no refusal on standard error: $(cat "$work/refused.err")"
# Its alert takes Return.
for _ in $(seq 50); do
    kill -0 "$other" 2>/dev/null || break
    xdotool key Return 2>/dev/null || true
    sleep 0.2
done
status=0
wait "$other" || status=$?
other=""
[ "$status" -eq 1 ] || fail "a refused start ended with $status"
[ "$(wc -l <"$state/log.txt")" -eq "$lines" ] || fail "the refused start wrote to the log: $(tail -n +$((lines + 1)) "$state/log.txt")"
[ -e "$state/running" ] || fail "the refused start removed the run marker"
kill -0 "$app" || fail "the first program ended with the refused start"

# --- A shell tile gets the keys the menu bar leaves alone ----------------------------------------
window="$(xdotool search --onlyvisible --pid "$app" 2>/dev/null | head -n1)"
xdotool windowactivate --sync "$window" 2>/dev/null || true
xdotool key ctrl+shift+alt+n
within 100 bash -c "pgrep -P $app >/dev/null" || fail "the shell tile started no child"
sleep 1
xdotool type --delay 20 "cat -v > keys.txt"
xdotool key Return
tile_cat() { for shell in $(pgrep -P "$app"); do pgrep -x -P "$shell" cat && return 0; done; return 1; }
within 50 tile_cat || fail "cat -v did not start in the tile"
# F10 and Alt+s are the tile's; Ctrl+Shift+S is Stop Claude: ESC to the tile.
xdotool key F10 alt+s ctrl+shift+s
xdotool type --delay 20 "x"
xdotool key Return ctrl+d
within 50 grep -q 'x$' "$HOME/keys.txt" || fail "the keys did not reach the tile: $(cat "$HOME/keys.txt" 2>/dev/null)"
grep -q '\^\[\[21~\^\[s\^\[x$' "$HOME/keys.txt" ||
    fail "F10, Alt+s and Ctrl+Shift+S did not reach the tile as ESC [21~, ESC s, ESC: $(cat -A "$HOME/keys.txt")"
children="$(pgrep -P "$app" | tr '\n' ' ')"

# --- Ctrl+Shift+Q while the tile runs: asked, Return quits ---------------------------------------
xdotool key ctrl+shift+q
sleep 0.5
kill -0 "$app" || fail "Ctrl+Shift+Q quit without asking"
xdotool key Return
ended
[ "$status" -eq 0 ] || fail "Ctrl+Shift+Q: exit status $status"
log_ends_cleanly
grep -q '"tileId"' "$state/state.json" || fail "state.json holds no tile: $(cat "$state/state.json")"
for child in $children; do
    within 50 bash -c "! kill -0 $child" || fail "the tile's child $child was left running"
done

# --- The tile comes back; SIGTERM ends it without asking -----------------------------------------
start
within 100 bash -c "pgrep -P $app >/dev/null" || fail "the saved tile was not restored"
children="$(pgrep -P "$app" | tr '\n' ' ')"
kill -TERM "$app"
ended
[ "$status" -eq 0 ] || fail "SIGTERM: exit status $status"
log_ends_cleanly
grep -q '"tileId"' "$state/state.json" || fail "state.json lost the tile at SIGTERM"
for child in $children; do
    within 50 bash -c "! kill -0 $child" || fail "the tile's child $child was left running"
done

echo "quiltdeck_smoke: window, hand-over, refusal, keys in a tile, Ctrl+Shift+Q and SIGTERM; screenshot $shot ($colours colours)"
