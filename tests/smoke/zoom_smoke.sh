#!/usr/bin/env bash
# A zoomed tile in a real window on a virtual X display, in the light theme (a dark terminal on a
# light card), on a session bus of its own (run it under dbus-run-session): the wall starts empty,
# Ctrl+Shift+Alt+N opens a shell tile and Ctrl+Shift+Enter zooms it. The rows of the zoomed
# terminal meet without seams (its blank rows are the terminal's ground in every pixel), and a drag
# over a word of it selects the word: copied with Ctrl+Shift+C and pasted into a command, it lands
# in a file. Keys go out once the window holds the keyboard and the tile's shell waits for input;
# the zoomed shot is taken again until it shows the rows; ceilings catch only a hang. Xvfb, the
# window manager and the program are started and ended here, each by its own process id. (Only
# X11: this machine has no Wayland compositor.)
#   tests/smoke/zoom_smoke.sh path/to/quiltdeck output-folder
set -euo pipefail
app_bin="$1"
out="$2"
here="$(cd "$(dirname "$0")" && pwd)"
name=zoom_smoke
. "$(dirname "$0")/desktop.sh"
need_session_bus
mkdir -p "$out"

start_desktop 1920x1200

private_home
printf '{"themeMode":"light","onboarded":false,"walls":[],"currentWall":"","openTiles":[]}\n' >"$state/state.json"

"$app_bin" >"$work/app.out" 2>"$work/app.err" &
app=$!
window="$(wait_window '^Quiltdeck' 20)" || fail "no window: $(cat "$work/app.err")"
keyboard_to "$window" || fail "the window did not get the keyboard"
eval "$(xdotool getwindowgeometry --shell "$window")"  # X, Y, WIDTH, HEIGHT of the window's inside
shot() { import -window root "$1"; }

# --- A shell tile, zoomed -------------------------------------------------------------------------
xdotool key ctrl+shift+alt+n
within 150 bash -c "[ \$(pgrep -P $app | wc -l) -ge 1 ]" || fail "no shell tile"
within 150 shell_reading || fail "the tile's shell never waited for input"
# The file tells that the word is printed (the clear wipes the command from the screen).
xdotool type --delay 20 "clear; printf '\\n\\n\\n    zoomed-selection-word\\n'; : >~/printed"
xdotool key Return
within 150 test -e "$HOME/printed" || fail "the tile's shell did not run the command"
xdotool key ctrl+shift+Return
# The zoomed tile is centred, 0.58 of the width and 0.66 of the wall's height: the terminal in it,
# then the rows of text: the word's, then the prompt's. The zoom grows the tile over some frames:
# the rows are read once two shots in a row find them alike.
box=($((X + WIDTH / 5)) $((Y + HEIGHT / 5)) $((X + WIDTH * 4 / 5)) $((Y + HEIGHT * 4 / 5)))
# The terminal and the word's row in a new shot, when it holds three rows or more (the prompt's
# row is left out: its cursor may blink).
rows_in() {
    local found
    shot "$out/zoomed.png" && found="$("$here/find_text_rows.py" "$out/zoomed.png" "${box[@]}")" || return 1
    [ "$(echo "$found" | wc -l)" -ge 3 ] && echo "$found" | head -n 2
}
wait_steady rows_in || true
mapfile -t rows < <("$here/find_text_rows.py" "$out/zoomed.png" "${box[@]}")
[ "${#rows[@]}" -ge 3 ] || fail "no rows of text in the zoomed terminal: ${rows[*]:-none}"
read -r _ _ _ _ terminal_bottom <<<"${rows[0]}"
read -r word_top word_bottom word_left word_right <<<"${rows[1]}"
read -r _ prompt_bottom _ _ <<<"${rows[2]}"

# --- Rows meet without seams: below the prompt the terminal is its ground in every pixel ---------
column=$(( (word_left + word_right) / 2 ))
ground="$(convert "$out/zoomed.png" -crop "1x$((terminal_bottom - prompt_bottom - 30))+$column+$((prompt_bottom + 12))" \
    -depth 8 txt:- | awk 'NR > 1 { print $3 }' | sort | uniq -c | sort -rn)"
[ "$(echo "$ground" | wc -l)" -eq 1 ] || fail "seams between the zoomed terminal's blank rows: $ground"

# --- A drag over the word selects it: copied and pasted into a file ------------------------------
# From the first letter's ink to a little past the last one's (blanks after a word are not copied).
y=$(( (word_top + word_bottom) / 2 ))
from=$((word_left + 1)) to=$((word_right + 4))
xdotool mousemove --sync "$from" "$y"
xdotool mousedown 1
for step in 1 2 3 4 5 6 7 8; do
    xdotool mousemove --sync $((from + (to - from) * step / 8)) "$y"
    sleep 0.03
done
xdotool mouseup 1
shot "$out/selected.png"
xdotool key ctrl+shift+c
xdotool type --delay 20 "printf '%s' '"
xdotool key ctrl+shift+v
xdotool type --delay 20 "' > ~/copied.txt"
xdotool key Return
within 150 test -s "$HOME/copied.txt" || fail "nothing was pasted into the file"
copied="$(tr -d ' ' <"$HOME/copied.txt")"
[ "$copied" = "zoomed-selection-word" ] || fail "the drag copied '$(cat "$HOME/copied.txt")'"
echo "zoom_smoke: the zoomed terminal's rows meet without seams, a drag copied the word; shots in $out"
