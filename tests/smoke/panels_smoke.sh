#!/usr/bin/env bash
# The panels in a real window on a virtual X display, on a session bus of its own (run it under
# dbus-run-session), with a temporary HOME and XDG folders: Ctrl+Shift+N opens the project picker;
# typing a folder's name and Shift+Return opens a shell tile in that folder. The picker, the
# history, the settings and the browsers sheets are shot as PNGs (Escape ends each). Then, with a
# busy loop on the program's core, a folder's name and Return in the picker open an assistant tile
# (the fake CLI) and what is typed straight after reaches its prompt whole, three times. Keys go
# out once the window or sheet they are for holds the keyboard, except those typed straight after
# Return, whose point it is; ceilings catch only a hang. Xvfb, the window manager, the program and
# the busy loop are started and ended here, each by its own process id.
#   tests/smoke/panels_smoke.sh path/to/quiltdeck path/to/fake_claude output-folder
set -euo pipefail
app_bin="$1"
fake_claude="$2"
out="$3"
name=panels_smoke
. "$(dirname "$0")/desktop.sh"
busy=""
trap 'stop "$busy"; cleanup' EXIT
need_session_bus
mkdir -p "$out"

start_desktop 1600x1000

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_CACHE_HOME="$work/home/.cache" XDG_STATE_HOME="$work/home/.local/state" SHELL=/bin/bash NO_AT_BRIDGE=1
unset QUILTDECK_STATE_DIR BRIGHTLOOM_STATE_DIR
state="$HOME/.quiltdeck"
mkdir -p "$state" "$HOME/Projects/marmalade/.git" "$HOME/Projects/quince/.git" "$HOME/.local/bin"
cp "$fake_claude" "$HOME/.local/bin/claude"
# Two closed tiles for the history and two browsers known from an earlier listing (the fake CLI
# lists none, so a new listing fails and the known ones stay); the dark theme.
cat >"$state/state.json" <<EOF
{"onboarded":true,"themeMode":"dark",
 "browserCache":{"0f3a9c2e-77aa-4d1b":"Chrome","9b1e44d0-1c2d-4e5f":"Chrome"},
 "browserLabels":{"0f3a9c2e-77aa-4d1b":"Work"},"browserAccounts":{"9b1e44d0-1c2d-4e5f":"me@example.org"},
 "closed":[
 {"title":"Fix the build","name":"quince","cwd":"$HOME/Projects/quince","isShell":false,"closedAt":786000000,
  "claudeSessionId":"s-1","lastPrompt":"make the tests pass again and    explain what was wrong"},
 {"title":"shell","name":"marmalade","cwd":"$HOME/Projects/marmalade","isShell":true,"closedAt":785990000}]}
EOF
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

"$app_bin" >"$work/app.out" 2>"$work/app.err" &
app=$!
window="$(wait_window '^Quiltdeck' 20)" ||
    fail "no window: $(cat "$work/app.err")"
keyboard_to "$window" || fail "the window did not get the keyboard"

# A shot of the sheet into $1 that is more than nearly blank: the sheet has drawn.
filled() { import -window "$other_id" "$1" && [ "$(identify -format '%k' "$1")" -gt 8 ]; }
# Opens a sheet with a key, shoots it, and ends it with Escape.
shoot() {
    keyboard_to "$window" || fail "the window did not get the keyboard back"
    xdotool key "$1"
    wait_other_keyboard || fail "$1 opened no sheet that took the keyboard"
    within 150 filled "$out/$2.png" || fail "$out/$2.png is nearly blank"
    xdotool key Escape
    within 150 no_other_window || fail "Escape left the $2 sheet open"
}

# --- The picker: Ctrl+Shift+N, a folder's name, Shift+Return: a shell tile there ----------------
xdotool key ctrl+shift+n
wait_other_keyboard || fail "Ctrl+Shift+N opened no picker that took the keyboard"
within 150 filled "$out/picker.png" || fail "the picker is nearly blank"
xdotool type --delay 30 "marma"
import -window "$other_id" "$out/picker-filtered.png"
xdotool key shift+Return
within 150 no_other_window || fail "the picker stayed open"
tile_in() {
    for child in $(pgrep -P "$app"); do
        [ "$(readlink "/proc/$child/cwd")" = "$1" ] && return 0
    done
    return 1
}
within 150 tile_in "$HOME/Projects/marmalade" || fail "no shell tile in the folder: $(for c in $(pgrep -P "$app"); do readlink /proc/$c/cwd; done)"

shoot ctrl+shift+y history
shoot ctrl+shift+comma settings
shoot ctrl+shift+b browsers

# --- Typed straight after Return into a new assistant tile, the program's core busy --------------
# The keys after Return may still reach the picker's window before the display server hands the
# keyboard back, and the tile takes it only as it comes: every one reaches the CLI, in order.
core=$(($(nproc) - 1))
taskset -a -p -c "$core" "$app" >/dev/null
taskset -c "$core" sh -c 'while :; do :; done' &
busy=$!
# The terminal of a tile in folder $1 that is none of the children in $2 reads key by key: its
# CLI is up and reads its prompt.
cli_reading() {
    local child tty
    for child in $(pgrep -P "$app"); do
        [[ " $2 " == *" $child "* ]] && continue
        [ "$(readlink "/proc/$child/cwd")" = "$1" ] || continue
        tty="$(readlink "/proc/$child/fd/0")" || continue
        [[ "$tty" == /dev/pts/* ]] && stty -F "$tty" -a 2>/dev/null | grep -q -- '-icanon' && return 0
    done
    return 1
}
# The CLI took a prompt that matches $1 whole (its transcripts hold what it took).
prompted() { grep -qs "\"content\":\"$1\"" "$HOME/.claude/projects/"*/*.jsonl; }
for try in 1 2 3; do
    keyboard_to "$window" || fail "the window did not get the keyboard back (try $try)"
    xdotool key ctrl+shift+n
    wait_other_keyboard || fail "Ctrl+Shift+N opened no picker that took the keyboard (try $try)"
    xdotool type --delay 30 "quince"
    before="$(echo $(pgrep -P "$app"))"
    xdotool key Return
    xdotool type --delay 12 "k2n quince first $try"
    within 150 cli_reading "$HOME/Projects/quince" "$before" || fail "no new tile's CLI read its prompt (try $try)"
    xdotool key Return
    within 150 prompted "[^\"]*quince first $try" || fail "the CLI got no prompt (try $try)"
    prompted "k2n quince first $try" ||
        fail "keys typed straight after Return were lost (try $try): $(grep -ho '"content":"[^"]*"' "$HOME/.claude/projects/"*/*.jsonl)"
done
stop "$busy"
busy=""

kill -TERM "$app"
within 150 bash -c "! kill -0 $app" || fail "the program did not end"
wait "$app" || true
app=""
echo "panels_smoke: Ctrl+Shift+N, a name and Shift+Return opened a shell tile in the folder; keys typed straight after Return reached a new assistant tile whole 3 times on a busy core; sheets shot in $out"
