# Sourced by the window smoke tests: a temporary folder, `fail` and `within`, and a virtual X
# display with a window manager. Xvfb, the window manager and the program (`app`) are ended at exit,
# each by its own process id.
#   name=some_smoke; . tests/smoke/desktop.sh; [need_session_bus;] start_desktop 1600x1000
work="$(mktemp -d)"
xvfb=""; wm=""; app=""

stop() {
    local pid="$1"
    [ -n "$pid" ] || return 0
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}
cleanup() {
    stop "$app"; stop "$wm"; stop "$xvfb"
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "$name: $*" >&2; exit 1; }
within() {
    local tenths="$1"; shift
    for _ in $(seq "$tenths"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    return 1
}
# Prints the first visible window whose name matches, waiting up to $2 seconds (20). `xdotool
# search` dies on an X error when a window goes away while it looks, as windows do while a program
# starts, so it is asked again rather than trusted once.
wait_window() {
    local pattern="$1" found=""
    for _ in $(seq $((${2:-20} * 10))); do
        found="$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -n1 || true)"
        [ -n "$found" ] && { echo "$found"; return 0; }
        sleep 0.1
    done
    return 1
}
# Milliseconds since the epoch, without a process: the tests print what their steps took.
milliseconds() { echo $((${EPOCHREALTIME/./} / 1000)); }
# True while window $1 holds the keyboard (xdotool names the top-level window of the X focus).
has_keyboard() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }
# Waits for window $1 to hold the keyboard, up to 15 s (a hang): a key sent before goes elsewhere.
wait_keyboard() { within 150 has_keyboard "$1"; }
# Asks the window manager to give window $1 the keyboard, and waits for it to hold it.
keyboard_to() {
    xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true
    wait_keyboard "$1"
}
# Shoots window $1 into $2 and tells whether it has drawn: an undrawn window is one colour.
drawn() { import -window "$1" "$2" 2>/dev/null && [ "$(identify -format '%k' "$2")" -gt 2 ]; }
# The program's visible windows other than the main one ($window), tool tips left out: a tip shows
# wherever the pointer rests, and is never what a step waits for.
other_windows() {
    local ids id
    ids="$(xdotool search --onlyvisible --pid "$app" 2>/dev/null)" || return 1
    for id in $ids; do
        [ "$id" = "$window" ] && continue
        xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q TOOLTIP && continue
        echo "$id"
    done
    return 0
}
# One of them, a sheet, an alert, a popover or a menu, in $other_id.
other_window() {
    other_id="$(other_windows | head -n1)"
    [ -n "$other_id" ]
}
# Only the main window is left. A search that dies on an X error (a window going away while it
# looks) lists nothing, which is no answer.
no_other_window() {
    local others
    others="$(other_windows)" && [ -z "$others" ]
}
# One of them holds the keyboard; it is in $other_id.
other_keyboard() {
    local focus id
    focus="$(xdotool getwindowfocus 2>/dev/null)" || return 1
    for id in $(other_windows); do
        [ "$id" = "$focus" ] && { other_id="$id"; return 0; }
    done
    return 1
}
# Waits for the program to show a window besides the main one (a sheet, an alert) holding the
# keyboard; it is in $other_id.
wait_other_keyboard() { within 150 other_keyboard; }
# True while a shell the program started waits for input on its terminal: its prompt is out. Only
# a child on a terminal counts: the setup's checks are children too, waiting on their pipes.
shell_reading() {
    local child
    for child in $(pgrep -P "$app"); do
        [[ "$(readlink "/proc/$child/fd/0" 2>/dev/null)" == /dev/pts/* ]] || continue
        grep -qE 'poll|select|tty_read' "/proc/$child/wchan" 2>/dev/null && return 0
    done
    return 1
}
# Runs the command that follows, which prints what it finds, and tells whether it found the same
# as the last time (kept in $steady): whether what it looks at stands still.
steady_again() {
    local now
    now="$("$@")" || return 1
    [ "$now" = "${steady:-}" ] && return 0
    steady="$now"
    return 1
}
# Waits for the command that follows to find the same twice in a row (a hang ceiling); what it
# found is in $steady.
wait_steady() { steady=""; within 150 steady_again "$@"; }
# The first tile card's top edge in a new shot of the screen ($1), looked for down column $2 from
# row $3.
card_in() { import -window root "$1" && "$(dirname "${BASH_SOURCE[0]}")/find_cards.py" "$1" "$2" "$3"; }
# The same edge once two shots in a row find it in the same place (a card may still be sliding
# in), in $card_top.
wait_card_still() { wait_steady card_in "$@" && card_top="$steady"; }
need_session_bus() {
    [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || fail "no session bus (run under dbus-run-session)"
}
# The setup tests install the fake CLI; a claude already in one of the installer's places would be
# found first and the install never asked for.
need_no_claude_installed() {
    local place
    for place in /opt/homebrew/bin /usr/local/bin; do
        [ ! -e "$place/claude" ] || fail "a claude in $place would be found before any install"
    done
}

start_desktop() {
    Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb=$!
    within 100 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
    export DISPLAY=":$(head -n1 "$work/display")"
    start_window_manager
}
# xprop says a property is "not found" with status 0: the manager is up once the root names its
# check window. One that could not open the display is started again.
wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
start_window_manager() {
    for _ in 1 2 3; do
        openbox >"$work/wm.log" 2>&1 &
        wm=$!
        within 50 wm_up && return 0
        stop "$wm"; wm=""
    done
    fail "openbox did not start: $(cat "$work/wm.log")"
}

# A home of its own in the temporary folder, with its XDG folders; the program's state folder is
# ~/.quiltdeck, in $state. GTK and fontconfig keep allocations for the life of the process.
private_home() {
    export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
    export XDG_CACHE_HOME="$work/home/.cache" XDG_STATE_HOME="$work/home/.local/state" SHELL=/bin/bash NO_AT_BRIDGE=1
    unset QUILTDECK_STATE_DIR BRIGHTLOOM_STATE_DIR
    state="$HOME/.quiltdeck"
    mkdir -p "$state"
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
}
