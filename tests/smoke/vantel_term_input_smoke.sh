#!/usr/bin/env bash
# The input half in a real window: vantel-term runs `cat -v` with bracketed paste on below 40
# lines of output. xdotool types a word, double-clicks it, copies it with Ctrl+Shift+C and pastes
# it with Ctrl+Shift+V: the screen must show ^[[200~word^[[201~. The wheel's button 4 then
# scrolls back. A second run opens the find bar (Ctrl+Shift+F), types into its field, closes it
# with Escape and types into the terminal again: the term must not reach the program. Xvfb, the
# window manager and vantel-term are started and ended here, each by its own process id.
#   tests/smoke/vantel_term_input_smoke.sh path/to/vantel-term [screenshot-prefix]
set -euo pipefail
term="$1"
shots="${2:-vantel_term_input_smoke}"
name=vantel_term_input_smoke
. "$(dirname "$0")/desktop.sh"

start_desktop 1024x768
export GTK_IM_MODULE=gtk-im-context-simple
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

# Starts vantel-term on `cat -v` after 40 lines, 60 × 12; sets $app and $window.
start() {
    "$term" --cols 60 --rows 12 --dump-screen -- /bin/sh -c "seq 1 40; $1 exec cat -v" >"$work/screen" 2>"$work/term.log" &
    app=$!
    window=""
    for _ in $(seq 100); do
        window="$(xdotool search --onlyvisible --pid "$app" 2>/dev/null | head -n1 || true)"
        [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || fail "no window: $(cat "$work/term.log")"
    keyboard_to "$window" || fail "the window did not get the keyboard"
}
# Ends vantel-term by closing its window (the window manager's Alt+F4) and waits for it. The key
# goes to the window with the focus, so the window is activated first, and once more if a loaded
# machine let the first key go elsewhere.
finish() {
    local closed=""
    for _ in 1 2 3; do
        xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
        xdotool key alt+F4
        if within 70 bash -c "! kill -0 $app"; then closed=yes; break; fi
    done
    [ -n "$closed" ] || fail "vantel-term did not close"
    local status=0
    wait "$app" || status=$?
    app=""
    [ "$status" -eq 0 ] || fail "vantel-term ended with $status: $(cat "$work/term.log")"
}

# The program in the window reads its terminal: what is typed now reaches it.
cat_reading() {
    local child
    for child in $(pgrep -P "$app"); do
        [ "$(cat "/proc/$child/comm" 2>/dev/null)" = cat ] && grep -qE 'wait_woken|tty_read' "/proc/$child/wchan" && return 0
    done
    return 1
}
# A new shot of the window's terminal rows, and what it shows in short: the mean of its last row
# and of the whole, so that a step waits until the screen shows it, and then stands still (the
# programs ask for a caret that does not blink).
look() {
    import -window root "$work/look.png" &&
        convert "$work/look.png" -crop "${WIDTH}x$((cell * 12))+$X+$Y" +repage -colorspace gray \
            \( +clone -crop "${WIDTH}x${cell}+0+$((11 * cell))" \) -delete 0 -format '%[fx:mean] ' info: &&
        convert "$work/look.png" -crop "${WIDTH}x$((cell * 12))+$X+$Y" -colorspace gray -format '%[fx:mean]' info:
}
changed() { [ "$(look)" != "$shown" ]; }
# Waits until the window shows something other than $shown, standing still; then it is $shown.
wait_change() {
    within 150 changed || true
    wait_steady look || fail "the screen never stood still ($1)"
    [ "$steady" != "$shown" ] || fail "the screen did not change ($1)"
    shown="$steady"
}

# --- Copy and paste a word, then scroll back with the wheel ---------------------------------------
start 'printf "\033[?2004h\033[2 q";'
eval "$(xdotool getwindowgeometry --shell "$window")"
cell=$((HEIGHT / 12))
within 150 cat_reading || fail "cat never read its terminal"
wait_steady look || fail "the screen never stood still (start)"
shown="$steady"
xdotool type --delay 30 "word"
wait_change "the typed word"
# The word is on the last row; a double click on its second letter selects it.
xdotool mousemove --window "$window" $((WIDTH / 60 + 2)) $((11 * cell + cell / 2))
xdotool click --repeat 2 --delay 80 1
wait_change "the selection"
import -window root "$shots-selected.png"
xdotool key ctrl+shift+c
xdotool key ctrl+shift+v
xdotool key Return
wait_change "the paste"
import -window root "$shots-pasted.png"
xdotool click 4
wait_change "the scroll"
import -window root "$shots-scrolled.png"
finish
grep -qF 'word^[[200~word^[[201~' "$work/screen" || fail "the paste is not framed on screen:
$(cat "$work/screen")"
grep -qx -- '-- scrolled back 3 lines --' "$work/screen" || fail "button 4 did not scroll back 3 lines:
$(cat "$work/screen")"

# --- The find bar takes the keys while it is open --------------------------------------------------
start 'printf "\033[2 q";'
eval "$(xdotool getwindowgeometry --shell "$window")"
within 150 cat_reading || fail "cat never read its terminal"
wait_steady look || fail "the screen never stood still (start)"
shown="$steady"
xdotool key ctrl+shift+f
wait_change "the find bar"
xdotool type --delay 50 "qz"
wait_change "the find term"
import -window root "$shots-find.png"
xdotool key Return
xdotool key Escape
wait_change "the find bar closing"
xdotool type --delay 30 "back"
xdotool key Return
wait_change "the typed line"
finish
# The terminal's echo and cat's line.
[ "$(grep -cx back "$work/screen")" -ge 2 ] || fail "typing after Escape did not reach the program:
$(cat "$work/screen")"
if grep -q 'qz' "$work/screen"; then fail "the find term reached the program:
$(cat "$work/screen")"; fi
echo "vantel_term_input_smoke: paste framed, wheel scrolled back, find bar took its keys; screenshots $shots-*.png"
