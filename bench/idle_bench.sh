#!/usr/bin/env bash
# What an idle wall costs: the program in a real GTK window on a virtual X display, with 16 shell
# tiles at their prompts and the window holding the keyboard, nobody typing. It prints the
# processor time the program and the X server take and how often the program's threads wake
# (context switches), over two spans: while the focused tile's caret blinks (the first seconds
# after the keyboard came), and once the desktop's blink timeout has held it still. xterm with a
# blinking cursor, when it is installed, is measured beside it the same way.
#   bench/idle_bench.sh [path/to/quiltdeck] [seconds still]        # build/release/bin/quiltdeck 60
# IDLE_BENCH_TILES sets the number of tiles (16).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
app_bin="$(realpath -m "${1:-$here/../build/release/bin/quiltdeck}")"
still_for="${2:-60}"
tiles="${IDLE_BENCH_TILES:-16}"
[ -x "$app_bin" ] || { echo "build first: scripts/build.sh release" >&2; exit 2; }
name=idle_bench
. "$here/../tests/smoke/desktop.sh"
other=""
trap 'stop "$other"; cleanup' EXIT
start_desktop 1920x1200
private_home
export GTK_IM_MODULE=gtk-im-context-simple

# Processor ticks (user and system, all threads) of a process; context switches of all its threads.
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
switches() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '/ctxt_switches/ {n += $2} END {print n}'; }
hz="$(getconf CLK_TCK)"
# Measures process $1 (and the X server) for $2 seconds, labelled $3.
measure() {
    local pid="$1" seconds="$2" label="$3" t0 x0 s0 t1 x1 s1
    t0="$(ticks "$pid")"; x0="$(ticks "$xvfb")"; s0="$(switches "$pid")"
    sleep "$seconds"
    t1="$(ticks "$pid")"; x1="$(ticks "$xvfb")"; s1="$(switches "$pid")"
    awk -v l="$label" -v s="$seconds" -v t=$((t1 - t0)) -v x=$((x1 - x0)) -v w=$((s1 - s0)) -v hz="$hz" 'BEGIN {
        printf "  %-34s %6.2f %% of a core  %6.1f wakeups/s   X server %6.2f %%\n", l, 100 * t / hz / s, w / s, 100 * x / hz / s }'
}

# --- The wall -----------------------------------------------------------------------------------
records=""
for i in $(seq "$tiles"); do
    mkdir -p "$HOME/t$i"
    records+="${records:+,}{\"title\":\"t$i\",\"name\":\"t$i\",\"cwd\":\"$HOME/t$i\",\"isShell\":true,\"closedAt\":0,\"userNamed\":false,\"tileId\":\"id-$i\"}"
done
printf '{"themeMode":"dark","onboarded":true,"openTiles":[%s]}\n' "$records" >"$state/state.json"
printf 'PS1="$ "\n' >"$HOME/.bashrc"
"$app_bin" >"$work/app.out" 2>"$work/app.err" &
app=$!
window="$(wait_window '^Quiltdeck' 30)" || fail "no window: $(cat "$work/app.err")"
keyboard_to "$window" || fail "the window did not get the keyboard"
# Every shell at its prompt, and the launch's work done.
reading() {
    local n=0 child
    for child in $(pgrep -P "$app"); do
        [[ "$(readlink "/proc/$child/fd/0" 2>/dev/null)" == /dev/pts/* ]] || continue
        grep -qE 'poll|select|tty_read' "/proc/$child/wchan" 2>/dev/null && n=$((n + 1))
    done
    [ "$n" -ge "$tiles" ]
}
within 600 reading || fail "the shells did not all come to their prompts"
sleep 5
echo "idle_bench: $tiles shell tiles, the window focused, nobody typing (GTK's blink settings: defaults unless the desktop sets them)"
echo "quiltdeck ($app_bin):"
# A key the shell takes and shows nothing for (Ctrl+E on an empty line): the caret blinks from
# now, for the desktop's timeout.
xdotool key --window "$window" ctrl+e
measure "$app" 8 "blinking (0-8 s after a key)"
sleep 4
measure "$app" "$still_for" "still (from 12 s, ${still_for} s)"
stop "$app"; app=""

# --- xterm, blinking ----------------------------------------------------------------------------
if command -v xterm >/dev/null; then
    echo "xterm ($(xterm -v 2>/dev/null | head -n1)), a blinking cursor:"
    xterm -bc -geometry 120x40 -e bash --norc >/dev/null 2>&1 &
    other=$!
    xwin="$(wait_window 'bash|xterm' 20)" || fail "no xterm window"
    keyboard_to "$xwin" || true
    sleep 3
    xdotool key --window "$xwin" ctrl+e
    measure "$other" 8 "blinking (0-8 s after a key)"
    sleep 4
    measure "$other" "$still_for" "later (from 12 s, ${still_for} s)"
fi
