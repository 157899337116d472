#!/usr/bin/env bash
# Full screen in a real window on a virtual X display with a window manager, on a session bus of
# its own (run it under dbus-run-session): F11 puts the window in full screen (the manager lists
# _NET_WM_STATE_FULLSCREEN); after 3 s without a pointer move the bars are gone and the tiles
# reach the top of the screen; the pointer at the top edge brings the bars back, and so do the
# menus opened by keys (Ctrl+Shift+M) and a save that fails (state.json made a folder, then a tile
# renamed by keys), whose brief line's whole text shows as a tool tip under the pointer; F11
# again leaves full screen and the bars stay. How long the hide and the reveal took is printed; a shot that is
# checked is taken again until it shows what it looks for, and ceilings catch only a hang. Xvfb,
# the window manager and the program are started and ended here, each by its own process id.
#   tests/smoke/fullscreen_smoke.sh path/to/quiltdeck output-folder
set -euo pipefail
app_bin="$1"
out="$2"
here="$(cd "$(dirname "$0")" && pwd)"
name=fullscreen_smoke
. "$(dirname "$0")/desktop.sh"
need_session_bus
mkdir -p "$out"

start_desktop 1600x1000

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_CACHE_HOME="$work/home/.cache" XDG_STATE_HOME="$work/home/.local/state" SHELL=/bin/bash NO_AT_BRIDGE=1
unset QUILTDECK_STATE_DIR BRIGHTLOOM_STATE_DIR
state="$HOME/.quiltdeck"
mkdir -p "$state" "$HOME/one" "$HOME/two"
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

# Two shell tiles, as the last run left them.
record() {
    printf '{"title":"%s","name":"%s","cwd":"%s","isShell":true,"closedAt":0,"userNamed":false,"tileId":"id-%s"}' \
        "$1" "$1" "$HOME/$1" "$1"
}
printf '{"themeMode":"dark","onboarded":true,"openTiles":[%s,%s]}\n' "$(record one)" "$(record two)" \
    >"$state/state.json"

"$app_bin" >"$work/app.out" 2>"$work/app.err" &
app=$!
window="$(wait_window '^Quiltdeck' 20)" ||
    fail "no window: $(cat "$work/app.err")"
keyboard_to "$window" || fail "the window did not get the keyboard"
within 150 bash -c "[ \$(pgrep -P $app | wc -l) -ge 2 ]" || fail "the tiles were not restored"

shot() { import -window root "$1"; }
# The top edge of the first card under column x, from row y down.
card_top() { "$here/find_cards.py" "$1" "$2" "$3"; }
# A new shot $1 whose first card under column $2 (from row $3 down) starts at row $4; the row
# found in $found, the time the shot was taken in $shot_at.
cards_at() { shot_at="$(milliseconds)" && shot "$1" && found="$(card_top "$1" "$2" "$3")" && [ "$found" -eq "$4" ]; }
fullscreen() { xprop -id "$window" _NET_WM_STATE | grep -q _NET_WM_STATE_FULLSCREEN; }

eval "$(xdotool getwindowgeometry --shell "$window")"  # X, Y, WIDTH, HEIGHT
xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
wait_card_still "$out/window.png" $((X + 30)) $((Y + 1)) || fail "no tile cards in the window"
window_top="$card_top"

# --- F11: full screen, then the bars slide away after 3 s without a move -----------------------
fullscreen && fail "full screen before F11"
xdotool key F11
within 150 fullscreen || fail "F11 did not put the window in full screen: $(xprop -id "$window" _NET_WM_STATE)"
xdotool mousemove --sync 800 500
moved="$(milliseconds)"
# The menu bar steps aside; the bars stand 24 points down from the top edge, the grid 18 under them
# (looked for under the bars: the top bar may share the cards' ground).
found=""
within 150 cards_at "$out/fullscreen-bars.png" 30 $((24 + 90)) $((24 + 90 + 18)) ||
    fail "in full screen with the bars the cards start at ${found:-no card}"
bars_top="$found"
found=""
within 150 cards_at "$out/fullscreen-hidden.png" 30 0 18 ||
    fail "after 3 s without a move the cards start at ${found:-no card}, not at the top"
hidden_top="$found"
hidden_after=$((shot_at - moved))

# --- The top edge brings them back ----------------------------------------------------------------
xdotool mousemove 800 0
moved="$(milliseconds)"
found=""
within 150 cards_at "$out/fullscreen-revealed.png" 30 $((24 + 90)) "$bars_top" ||
    fail "after the top edge the cards start at ${found:-no card}"
revealed_top="$found"
revealed_after=$((shot_at - moved))

# Waits for the bars to slide away again, the pointer resting mid-screen.
bars_gone() {
    xdotool mousemove --sync 800 500
    found=""
    within 150 cards_at "$out/$1" 30 0 18 || fail "the bars did not slide away again: cards at ${found:-no card}"
}

# --- The menus opened by keys bring them in --------------------------------------------------------
bars_gone fullscreen-hidden-again.png
xdotool key ctrl+shift+m
found=""
within 150 cards_at "$out/fullscreen-menus.png" 30 $((24 + 90)) "$bars_top" ||
    fail "Ctrl+Shift+M left the cards at ${found:-no card}"
xdotool key Escape

# --- A save that fails brings them in, its line whole in a tip under the pointer -----------------
bars_gone fullscreen-hidden-before-save.png
rm "$state/state.json" && mkdir "$state/state.json"
xdotool key ctrl+shift+r
xdotool type --delay 40 "renamed"
xdotool key Return
found=""
within 150 cards_at "$out/fullscreen-save-failed.png" 30 $((24 + 90)) "$bars_top" ||
    fail "a save that failed left the cards at ${found:-no card}"
# The brief line in the dark theme's amber, between the check box and the counts.
notice_at="$("$here/pixels.py" centre 224,162,71 "$out/fullscreen-save-failed.png" 500 24 1300 76)" ||
    fail "no line in the bar after a save that failed"
xdotool mousemove --sync $notice_at
tip_shown() {
    local id
    for id in $(xdotool search --onlyvisible --pid "$app" 2>/dev/null); do
        xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q TOOLTIP && return 0
    done
    return 1
}
within 150 tip_shown || fail "no tool tip over the bar's line at $notice_at"
shot "$out/fullscreen-save-failed-tip.png"
rmdir "$state/state.json"

# --- F11 again: the window as before, and no hide follows ----------------------------------------
xdotool mousemove --sync 800 500
xdotool key F11
within 150 bash -c "! xprop -id $window _NET_WM_STATE | grep -q _NET_WM_STATE_FULLSCREEN" ||
    fail "F11 did not leave full screen"
# Longer than the hide's 3 s: the bars would be gone by now.
sleep 4
shot "$out/window-again.png"
eval "$(xdotool getwindowgeometry --shell "$window")"
again_top="$(card_top "$out/window-again.png" $((X + 30)) $((Y + 1)))" || fail "no tile cards after full screen"
[ "$again_top" -eq "$window_top" ] || fail "after full screen the cards start at $again_top, not $window_top"

kill -0 "$app" || fail "the program ended"
echo "fullscreen_smoke: F11 in and out, cards at $bars_top with the bars, $hidden_top without (hidden within $hidden_after ms of the last move)," \
     "$revealed_top after the top edge (bars back within $revealed_after ms), back for Ctrl+Shift+M and for a failed save," \
     "its tip under the pointer; shots in $out"
