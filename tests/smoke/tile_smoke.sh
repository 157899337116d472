#!/usr/bin/env bash
# A tile card in a real window on a virtual X display, on a session bus of its own (run it under
# dbus-run-session): one shell tile restored from state.json; a double click on its header opens
# the title editor, "Shop" and Return rename the tile; a right click on the card opens its context
# menu in a window of its own and Escape closes it; after Ctrl+Shift+Q (asked, Return) state.json
# holds the name. Keys go out once what they are for holds the keyboard; ceilings catch only a
# hang. Xvfb, the window manager and the program are started and ended here, each by its own
# process id.
#   tests/smoke/tile_smoke.sh path/to/quiltdeck output-folder
set -euo pipefail
app_bin="$1"
out="$2"
here="$(cd "$(dirname "$0")" && pwd)"
name=tile_smoke
. "$(dirname "$0")/desktop.sh"
need_session_bus
mkdir -p "$out"

start_desktop 1920x1200

private_home
mkdir -p "$HOME/one"
printf '{"themeMode":"dark","onboarded":true,"openTiles":[{"title":"one","name":"one","cwd":"%s","isShell":true,"closedAt":0,"userNamed":false,"tileId":"id-one"}]}\n' \
    "$HOME/one" >"$state/state.json"

"$app_bin" >"$work/app.out" 2>"$work/app.err" &
app=$!
window="$(wait_window '^Quiltdeck' 20)" ||
    fail "no window: $(cat "$work/app.err")"
keyboard_to "$window" || fail "the window did not get the keyboard"
within 150 bash -c "[ \$(pgrep -P $app | wc -l) -ge 1 ]" || fail "the tile was not restored"

eval "$(xdotool getwindowgeometry --shell "$window")"  # X, Y, WIDTH, HEIGHT of the window's inside
shot() { import -window root "$1"; }
wait_card_still "$out/restored.png" $((X + 30)) $((Y + 1)) || fail "no tile card stood still on the screen"
# The title, right of the dot and the number; the terminal well below the header.
title_x=$((X + 18 + 80)); title_y=$((card_top + 20))
body_y=$((card_top + 200))

# --- A double click on the header opens the title editor; Return renames -------------------------
# The editor's field ends before its buttons: the longest run of one colour on the title's row,
# the card's ground up to its end, then ends sooner.
run_end() { "$here/pixels.py" longest "$1" "$title_y" "$X" $((X + WIDTH)); }
plain_end="$(run_end "$out/restored.png")"
editing() { shot "$1" && [ "$(run_end "$1")" != "$plain_end" ]; }
xdotool mousemove --sync "$title_x" "$title_y"
xdotool click --repeat 2 --delay 80 1
within 150 editing "$out/editing.png" || fail "a double click on the title opened no editor"
xdotool type --delay 30 "Shop"
xdotool key Return
closed() { shot "$1" && [ "$(run_end "$1")" = "$plain_end" ]; }
within 150 closed "$out/renamed.png" || fail "Return left the title editor open"

# --- A right click opens the context menu in a window of its own; Escape closes it --------------
menus() { xdotool search --onlyvisible --class '' 2>/dev/null | wc -l; }
before="$(menus)"
xdotool mousemove --sync "$title_x" "$body_y"
xdotool click 3
within 150 bash -c "[ \$(xdotool search --onlyvisible --class '' 2>/dev/null | wc -l) -gt $before ]" ||
    fail "no menu window after a right click ($before windows)"
shot "$out/menu.png"
xdotool key Escape
within 150 bash -c "[ \$(xdotool search --onlyvisible --class '' 2>/dev/null | wc -l) -le $before ]" ||
    fail "Escape left the menu open"

# --- Quit: asked while the tile runs; its name is saved -----------------------------------------
keyboard_to "$window" || fail "the window did not get the keyboard back"
xdotool key ctrl+shift+q
wait_other_keyboard || fail "Ctrl+Shift+Q asked nothing while the tile ran"
xdotool key Return
within 150 bash -c "! kill -0 $app" || fail "the program did not quit"
status=0
wait "$app" || status=$?
app=""
[ "$status" -eq 0 ] || fail "exit status $status: $(tail -n5 "$work/app.err")"
python3 - "$state/state.json" "$HOME/one" <<'PY' || fail "state.json: $(cat "$state/state.json")"
import json, sys
state = json.load(open(sys.argv[1]))
# The editor opened with the old title selected: what was typed replaced it.
assert [t["title"] for t in state["openTiles"]] == ["Shop"], state["openTiles"]
assert state["openTiles"][0]["userNamed"], state["openTiles"]
assert state.get("tileNames", {}).get(sys.argv[2]) == "Shop", state.get("tileNames")
PY
echo "tile_smoke: a double click, Shop and Return renamed the tile; a right click opened its menu and Escape closed it; shots in $out"
