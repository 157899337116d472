#!/usr/bin/env bash
# The real window: vantel-term runs sh on a virtual X display; xdotool types a command into it;
# the screen it leaves (--dump-screen) must show the command's output, and a screenshot of the
# display must not be blank. Keys go out once the window holds the keyboard. Xvfb, the window
# manager and vantel-term are started here and ended here, each by its own process id.
#   tests/smoke/vantel_term_smoke.sh path/to/vantel-term [screenshot.png]
set -euo pipefail
term="$1"
shot="${2:-vantel_term_smoke.png}"
name=vantel_term_smoke
. "$(dirname "$0")/desktop.sh"

start_desktop 1024x768

# GTK and fontconfig keep allocations for the life of the process; they are not ours to free.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
# A program that is not on PATH is said at once, with the status a shell gives, and no window.
set +e
"$term" -- quiltdeck-no-such-program 2>"$work/missing.log"
missing=$?
set -e
[ "$missing" -eq 127 ] || fail "a missing program ended with $missing"
grep -q "quiltdeck-no-such-program: command not found" "$work/missing.log" || fail "no line for a missing program: $(cat "$work/missing.log")"

# "sh" is found on PATH, as a shell would find it.
"$term" --cols 60 --rows 12 --dump-screen -- sh >"$work/screen" 2>"$work/term.log" &
app=$!
window=""
for _ in $(seq 100); do
    window="$(xdotool search --onlyvisible --pid "$app" 2>/dev/null | head -n1 || true)"
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || fail "no window: $(cat "$work/term.log")"
keyboard_to "$window" || fail "the window did not get the keyboard"

word="road-$RANDOM"
xdotool type --delay 20 "echo $word"
xdotool key Return
colours=0
screen_drawn() { import -window root "$shot" && colours="$(identify -format '%k' "$shot")" && [ "$colours" -gt 2 ]; }
within 150 screen_drawn || fail "the screenshot is blank ($colours colours)"

xdotool type --delay 20 "exit"
xdotool key Return
within 150 bash -c "! kill -0 $app" || fail "vantel-term did not close with its shell"
status=0
wait "$app" || status=$?
app=""
[ "$status" -eq 0 ] || fail "vantel-term ended with $status: $(cat "$work/term.log")"
grep -qx "$word" "$work/screen" || fail "the screen does not show $word:
$(cat "$work/screen")"
echo "vantel_term_smoke: $word shown; screenshot $shot ($colours colours)"
