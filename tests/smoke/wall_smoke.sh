#!/usr/bin/env bash
# The wall in a real window on a virtual X display, on a session bus of its own (run it under
# dbus-run-session): four shell tiles restored from state.json, three on Main and one on a second
# wall; Ctrl+Shift+Enter zooms the active tile over the scrim (the screenshot darkens beside it),
# and Escape at its shell's prompt ends the zoom, a command typed next running whole; so does
# Escape while sleep runs (it reads lines), and the command typed once it ended runs whole; zoomed
# again with a program that reads its keys one by one, Escape is the program's and the zoom stays
# until Escape at the prompt again; with the shell in vi mode, Ctrl+[ is its Escape and keeps the
# zoom; xdotool drags the first tile's header onto the third slot;
# Ctrl+Shift+T asks for a new tab's name (typed with spaces around it) and shows that tab; after
# Ctrl+Shift+Q (asked, Return), state.json holds the new order and the walls. Keys go out once what
# they are for holds the keyboard, a shot that is checked is taken again until it shows what it
# looks for, and ceilings catch only a hang. Xvfb, the window manager and the program are started
# and ended here, each by its own process id.
#   tests/smoke/wall_smoke.sh path/to/quiltdeck output-folder
set -euo pipefail
app_bin="$1"
out="$2"
here="$(cd "$(dirname "$0")" && pwd)"
name=wall_smoke
. "$(dirname "$0")/desktop.sh"
need_session_bus
mkdir -p "$out"

start_desktop 1920x1200

private_home

# --- Four shell tiles on two walls, as the last run left them -------------------------------------
record() {  # folder, wall (or "")
    mkdir -p "$HOME/$1"
    local wall=""
    [ -n "$2" ] && wall=",\"wall\":\"$2\""
    printf '{"title":"%s","name":"%s","cwd":"%s","isShell":true,"closedAt":0,"userNamed":false,"tileId":"id-%s"%s}' \
        "$1" "$1" "$HOME/$1" "$1" "$wall"
}
printf '{"themeMode":"dark","onboarded":true,"walls":["Second"],"currentWall":"","openTiles":[%s,%s,%s,%s]}\n' \
    "$(record one "")" "$(record side Second)" "$(record two "")" "$(record three "")" >"$state/state.json"

"$app_bin" >"$work/app.out" 2>"$work/app.err" &
app=$!
window="$(wait_window '^Quiltdeck' 20)" ||
    fail "no window: $(cat "$work/app.err")"
keyboard_to "$window" || fail "the window did not get the keyboard"
children() { pgrep -P "$app" | wc -l; }
within 150 bash -c "[ \$(pgrep -P $app | wc -l) -ge 4 ]" || fail "the four tiles were not restored: $(children) children"

eval "$(xdotool getwindowgeometry --shell "$window")"  # X, Y, WIDTH, HEIGHT of the window's inside
shot() { import -window root "$1"; }
# The content starts under the menu bar: found from the first card's top edge (108 in the wall).
wait_card_still "$out/restored.png" $((X + 30)) $((Y + 1)) || fail "no tile cards stood still on the screen"
top=$((card_top - 108))
content_h=$((Y + HEIGHT - top))
# Three tiles: two columns, two rows of cells in the grid area under the bar and the tab bar.
cell_w=$(( (WIDTH - 54) / 2 )); cell_h=$(( (content_h - 90 - 54) / 2 ))
header() {  # slot (0-based) -> "x y" of the middle of its header on the screen
    local column=$(($1 % 2)) row=$(($1 / 2))
    echo "$((X + 18 + column * (cell_w + 18) + cell_w / 2)) $((top + 90 + 18 + row * (cell_h + 18) + 20))"
}
mean() {  # the mean brightness of a box of a screenshot (0...1)
    convert "$1" -crop "$4x$5+$2+$3" -colorspace gray -format '%[fx:mean]' info:
}

# --- Ctrl+Shift+Enter zooms; the scrim darkens the wall beside the tile ------------------------
probe=($((X + WIDTH - 18 - cell_w + 10)) $((top + 90 + 18)) $((cell_w - 40 < 260 ? cell_w - 40 : 260)) 60)
before="$(mean "$out/restored.png" "${probe[@]}")"
# The scrim fades in and out: the shot is taken again until the wall beside the tile is as dark (or
# as light) as it is checked for.
darker() { shot "$out/zoomed.png" && after="$(mean "$out/zoomed.png" "${probe[@]}")" && awk -v b="$before" -v a="$after" 'BEGIN { exit !(a < b * 0.8) }'; }
lighter() { shot "$out/unzoomed.png" && back="$(mean "$out/unzoomed.png" "${probe[@]}")" && awk -v b="$before" -v a="$back" 'BEGIN { exit !(a > b * 0.9) }'; }
# The zoomed card's header row in a new shot ($1), as a digest of its pixels: what Escape does there
# stands in it. It changes from what it showed at the prompt ($at_prompt) within the check's period.
header_row() {
    local y
    import -window root "$1" && y="$("$here/find_cards.py" "$1" $((X + WIDTH / 2)) $((top + 90)))" && [ -n "$y" ] &&
        convert "$1" -crop "${WIDTH}x40+${X}+${y}" -depth 8 rgb:- | md5sum
}
header_changed() { local now; now="$(header_row "$1")" && [ "$now" != "$at_prompt" ]; }
after=""; back=""
xdotool key ctrl+shift+Return
within 150 darker || fail "the scrim did not darken the wall: mean $before before, $after zoomed"
wait_steady header_row "$out/zoomed-at-prompt.png" || fail "the zoomed card did not stand still"
at_prompt="$steady"
xdotool key Escape
within 150 lighter || fail "Escape at the shell's prompt left the scrim: mean $back"
# Types `echo` with the words given into the tile, into a file of that name, and checks that it ran
# whole (a late Escape would have eaten its first letter).
echo_runs_whole() {
    xdotool type --delay 30 "echo $1 >\"$work/$1\""
    xdotool key Return
    within 100 test -s "$work/$1" || fail "echo $1 did not run"
    [ "$(cat "$work/$1")" = "$1" ] || fail "echo $1 ran as: $(cat "$work/$1")"
}
# The shell had no Escape of it: the next command keeps its first letter.
echo_runs_whole after
# A command that reads lines (sleep) leaves Escape to the zoom, as the header says: nothing of it
# reaches the terminal, and the command typed once it ended keeps its first letter.
xdotool key ctrl+shift+Return
within 150 darker || fail "the scrim did not darken the wall again: mean $after"
xdotool type --delay 30 "sleep 3011"
xdotool key Return
within 100 pgrep -xf "sleep 3011" || fail "sleep did not start"
within 50 header_changed "$out/zoomed-command.png" || fail "the header did not change while sleep ran"
xdotool key Escape
within 150 lighter || fail "Escape while sleep ran kept the zoom: mean $back"
pkill -xf "sleep 3011" || fail "sleep ended before Escape"
echo_runs_whole "after sleep"
# A program that reads its keys one by one takes Escape, and the zoom stays; once it ended, Escape
# leaves.
xdotool key ctrl+shift+Return
within 150 darker || fail "the scrim did not darken the wall again: mean $after"
xdotool type --delay 30 "python3 -c \"import sys, tty; tty.setcbreak(0); open('$work/ready', 'w'); print(repr(sys.stdin.read(2)), file=open('$work/keys.out', 'w'))\""
xdotool key Return
within 100 test -e "$work/ready" || fail "the key reader did not start"
within 50 header_changed "$out/zoomed-program.png" || fail "the header did not change while the key reader ran"
xdotool key Escape x
within 100 test -s "$work/keys.out" || fail "the key reader read nothing"
[ "$(cat "$work/keys.out")" = "'\\x1bx'" ] || fail "Escape did not reach the key reader: $(cat "$work/keys.out")"
shot "$out/zoomed-after-program.png"
after="$(mean "$out/zoomed-after-program.png" "${probe[@]}")"
awk -v b="$before" -v a="$after" 'BEGIN { exit !(a < b * 0.8) }' || fail "Escape to the key reader left the zoom: mean $after"
# The shell in vi mode: Ctrl+[ is its Escape (x then deletes the last letter) and keeps the zoom.
xdotool type --delay 30 "set -o vi"
xdotool key Return
xdotool type --delay 30 "echo abc"
xdotool key ctrl+bracketleft
xdotool type --delay 30 "xA >$work/vi.out"
xdotool key Return
within 100 test -s "$work/vi.out" || fail "the vi-mode line did not run"
[ "$(cat "$work/vi.out")" = ab ] || fail "Ctrl+[ did not reach the vi-mode shell: $(cat "$work/vi.out")"
shot "$out/zoomed-vi.png"
after="$(mean "$out/zoomed-vi.png" "${probe[@]}")"
awk -v b="$before" -v a="$after" 'BEGIN { exit !(a < b * 0.8) }' || fail "Ctrl+[ left the zoom: mean $after"
xdotool key Escape
within 150 lighter || fail "Escape at the vi-mode prompt left the scrim: mean $back"

# --- Drag the first tile's header onto the third slot --------------------------------------------
read -r fx fy <<<"$(header 0)"
read -r tx ty <<<"$(header 2)"
xdotool mousemove --sync "$fx" "$fy"
xdotool mousedown 1
for step in 1 2 3 4 5 6 7 8 9 10; do
    xdotool mousemove --sync $((fx + (tx - fx) * step / 10)) $((fy + (ty - fy) * step / 10))
    sleep 0.05
done
shot "$out/dragging.png"
xdotool mouseup 1
shot "$out/dropped.png"

# --- Ctrl+Shift+T asks for a new tab's name in the toolkit's dialog -------------------------------
keyboard_to "$window" || fail "the window did not get the keyboard back"
xdotool key ctrl+shift+t
wait_other_keyboard || fail "Ctrl+Shift+T asked for no name"
xdotool type --delay 20 "  Third "
xdotool key Return
within 150 no_other_window || fail "Return left the name's dialog open"
shot "$out/new-tab.png"

# --- Quit: asked while the tiles run; the order and the walls are saved -------------------------
keyboard_to "$window" || fail "the window did not get the keyboard back"
xdotool key ctrl+shift+q
wait_other_keyboard || fail "Ctrl+Shift+Q asked nothing while the tiles ran"
xdotool key Return
within 150 bash -c "! kill -0 $app" || fail "the program did not quit"
status=0
wait "$app" || status=$?
app=""
[ "$status" -eq 0 ] || fail "exit status $status"
python3 - "$state/state.json" <<'PY' || fail "state.json: $(cat "$state/state.json")"
import json, sys
state = json.load(open(sys.argv[1]))
tiles = [(t["name"], t.get("wall", "")) for t in state["openTiles"]]
main = [n for n, w in tiles if w == ""]
assert main == ["two", "three", "one"], tiles
assert [n for n, w in tiles if w == "Second"] == ["side"], tiles
assert state["walls"] == ["Second", "Third"], state["walls"]
assert state["currentWall"] == "Third", state["currentWall"]
PY
echo "wall_smoke: four tiles restored on two walls, zoom darkens ($before -> $after), drag from slot 1 to slot 3, a new tab from the prompt, all saved; shots in $out"
