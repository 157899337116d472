#!/usr/bin/env bash
# The program in a real window on a virtual X display, on a session bus of its own (run it under
# dbus-run-session): the window comes up; a second start hands over to the first and exits 0; a
# start on the same state folder outside the bus's uniqueness is refused with exit 1 and leaves the
# log alone; a shell tile gets F10 as ESC [21~ and Alt+s as ESC s (the menu bar never takes them)
# and ESC for Ctrl+Shift+S; Ctrl+Shift+Q asks while the tile runs and Return quits; the next start
# restores the tile and SIGTERM ends it; each end has exit 0, the tile in state.json, no tile's
# child left, "quit" last in the log and no run marker. Keys go out once what they are for holds
# the keyboard (and a tile's shell waits for input); ceilings catch only a hang. Xvfb, the window
# manager and every program started here are ended here, each by its own process id.
#   tests/smoke/quiltdeck_smoke.sh path/to/quiltdeck [screenshot.png]
set -euo pipefail
app_bin="$1"
shot="${2:-quiltdeck_smoke.png}"
name=quiltdeck_smoke
. "$(dirname "$0")/desktop.sh"
refused_app=""
# The refused start is ended too.
trap 'stop "$refused_app"; cleanup' EXIT
need_session_bus

start_desktop 1600x1000

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
    window="$(wait_window '^Quiltdeck' 20)" || fail "no window: $(cat "$work/app.err")"
    within 150 test -f "$state/running" || fail "no run marker"
}
# Waits for the program to end; its exit status in $status.
ended() {
    within 150 bash -c "! kill -0 $app" || fail "the program did not end"
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
colours=0
screen_drawn() { import -window root "$shot" && colours="$(identify -format '%k' "$shot")" && [ "$colours" -gt 2 ]; }
within 150 screen_drawn || fail "the screenshot is blank ($colours colours)"

status=0
timeout 20 "$app_bin" >"$work/second.out" 2>"$work/second.err" || status=$?
[ "$status" -eq 0 ] || fail "a second start ended with $status: $(cat "$work/second.err")"
kill -0 "$app" || fail "the first program ended with the second start"

# --- The same folder outside the bus's uniqueness: refused, the log left alone -----------------
lines="$(wc -l <"$state/log.txt")"
QUILTDECK_STATE_DIR="$state" "$app_bin" >"$work/refused.out" 2>"$work/refused.err" &
refused_app=$!
refused() { grep -q "Quiltdeck is already running with $state" "$work/refused.err"; }
within 150 refused || fail "no refusal on standard error: $(cat "$work/refused.err")"
# Its alert takes Return once it holds the keyboard.
refused_alert() {
    local id
    for id in $(xdotool search --onlyvisible --pid "$refused_app" 2>/dev/null); do has_keyboard "$id" && return 0; done
    return 1
}
within 150 refused_alert || fail "the refused start's alert never held the keyboard"
xdotool key Return
within 150 bash -c "! kill -0 $refused_app" || fail "the refused start's alert did not take Return"
status=0
wait "$refused_app" || status=$?
refused_app=""
[ "$status" -eq 1 ] || fail "a refused start ended with $status"
[ "$(wc -l <"$state/log.txt")" -eq "$lines" ] || fail "the refused start wrote to the log: $(tail -n +$((lines + 1)) "$state/log.txt")"
[ -e "$state/running" ] || fail "the refused start removed the run marker"
kill -0 "$app" || fail "the first program ended with the refused start"

# --- A shell tile gets the keys the menu bar leaves alone ----------------------------------------
keyboard_to "$window" || fail "the window did not get the keyboard"
xdotool key ctrl+shift+alt+n
within 150 bash -c "pgrep -P $app >/dev/null" || fail "the shell tile started no child"
within 150 shell_reading || fail "the tile's shell never waited for input"
xdotool type --delay 20 "cat -v > keys.txt"
xdotool key Return
tile_cat() { for shell in $(pgrep -P "$app"); do pgrep -x -P "$shell" cat && return 0; done; return 1; }
within 150 tile_cat || fail "cat -v did not start in the tile"
# F10 and Alt+s are the tile's; Ctrl+Shift+S is Stop Claude: ESC to the tile.
xdotool key F10 alt+s ctrl+shift+s
xdotool type --delay 20 "x"
xdotool key Return ctrl+d
within 150 grep -q 'x$' "$HOME/keys.txt" || fail "the keys did not reach the tile: $(cat "$HOME/keys.txt" 2>/dev/null)"
grep -q '\^\[\[21~\^\[s\^\[x$' "$HOME/keys.txt" ||
    fail "F10, Alt+s and Ctrl+Shift+S did not reach the tile as ESC [21~, ESC s, ESC: $(cat -A "$HOME/keys.txt")"
children="$(pgrep -P "$app" | tr '\n' ' ')"

# --- Ctrl+Shift+Q while the tile runs: asked, Return quits ---------------------------------------
xdotool key ctrl+shift+q
wait_other_keyboard || fail "Ctrl+Shift+Q asked nothing while the tile ran"
kill -0 "$app" || fail "Ctrl+Shift+Q quit without asking"
xdotool key Return
ended
[ "$status" -eq 0 ] || fail "Ctrl+Shift+Q: exit status $status"
log_ends_cleanly
grep -q '"tileId"' "$state/state.json" || fail "state.json holds no tile: $(cat "$state/state.json")"
for child in $children; do
    within 150 bash -c "! kill -0 $child" || fail "the tile's child $child was left running"
done

# --- The tile comes back; SIGTERM ends it without asking -----------------------------------------
start
within 150 bash -c "pgrep -P $app >/dev/null" || fail "the saved tile was not restored"
children="$(pgrep -P "$app" | tr '\n' ' ')"
kill -TERM "$app"
ended
[ "$status" -eq 0 ] || fail "SIGTERM: exit status $status"
log_ends_cleanly
grep -q '"tileId"' "$state/state.json" || fail "state.json lost the tile at SIGTERM"
for child in $children; do
    within 150 bash -c "! kill -0 $child" || fail "the tile's child $child was left running"
done

echo "quiltdeck_smoke: window, hand-over, refusal, keys in a tile, Ctrl+Shift+Q and SIGTERM; screenshot $shot ($colours colours)"
