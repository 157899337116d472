#!/usr/bin/env bash
# The reader in a real window on a virtual X display, on a session bus of its own (run it under
# dbus-run-session), against a loopback HTTP server: a page's link meant for a new window loads in
# the reader and enables back; Open in Browser hands on the page shown; a javascript: link (its
# script never runs: the page keeps its title and its text) and a file: link load nothing, launch
# nothing and are logged once each; a mailto: link goes to the desktop; a link of another
# application's scheme asks first in a dialog whose default, Return, opens nothing; Escape hides
# the reader and the next headline shows it again with its history; on a page whose hidden frame
# has a javascript: source and whose javascript: link lies in a closed shadow tree, neither runs
# (title and text stay) and the page is logged once; the engine tells sites it runs on Linux.
# The reader and the dialog are shot as PNGs. When the web engine's sandbox cannot start here,
# this test (never the program) turns it off. Xvfb, the window manager, the server and the probe
# are started and ended here, each by its own process id.
#   tests/smoke/reader_smoke.sh path/to/reader-probe output-folder
set -euo pipefail
probe_bin="$1"
out="$2"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
xvfb=""; wm=""; server=""; probe=""

stop() {
    local pid="$1"
    [ -n "$pid" ] || return 0
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}
cleanup() {
    exec 5>&- 2>/dev/null || true
    stop "$probe"; stop "$server"; stop "$wm"; stop "$xvfb"
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "reader_smoke: $*" >&2
    echo "--- probe output:" >&2; cat "$work/probe.out" >&2 || true
    echo "--- probe errors:" >&2; tail -n 20 "$work/probe.err" >&2 || true
    exit 1
}
within() {
    local tenths="$1"; shift
    for _ in $(seq "$tenths"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    return 1
}
mkdir -p "$out"

Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
within 100 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n1 "$work/display")"
started=""
for _ in 1 2 3; do
    openbox >"$work/wm.log" 2>&1 &
    wm=$!
    # xprop says "not found" with status 0: the manager is up once the root names its check window.
    within 50 bash -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'" && { started=yes; break; }
    kill "$wm" 2>/dev/null || true; wait "$wm" 2>/dev/null || true; wm=""
done
[ -n "$started" ] || fail "openbox did not start: $(cat "$work/wm.log")"

"$here/loopback_http.py" "$here/reader_site" "$work/port" &
server=$!
within 50 test -s "$work/port" || fail "the loopback server did not start"
site="http://127.0.0.1:$(cat "$work/port")"

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_CACHE_HOME="$work/home/.cache" NO_AT_BRIDGE=1 QUILTDECK_STATE_DIR="$work/home/state"
mkdir -p "$HOME"
# The engine's web process runs in a bubblewrap sandbox; where that cannot start (a container
# without user namespaces), the test runs the engine without it.
if ! bwrap --ro-bind / / --dev /dev --proc /proc true >/dev/null 2>&1; then
    export WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS=1
fi
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}suppressions=$here/ubsan-webkit.supp"

mkfifo "$work/in"
"$probe_bin" "$site/first.html" <"$work/in" >"$work/probe.out" 2>"$work/probe.err" &
probe=$!
exec 5>"$work/in"
say() { echo "$1" >&5; }
# Waits for a state line of the probe that holds every word given.
shows() {
    local tenths="$1"; shift
    for _ in $(seq "$tenths"); do
        local line
        line="$(grep '^state ' "$work/probe.out" | tail -n1)"
        local all=1
        for word in "$@"; do [[ " $line " == *" $word "* ]] || all=0; done
        [ "$all" = 1 ] && return 0
        sleep 0.1
    done
    return 1
}
last_state() { grep '^state ' "$work/probe.out" | tail -n1; }
# Asks the window manager to give window $1 the keyboard and waits for it to hold it (xdotool names
# the top-level window of the X focus): a key sent before goes elsewhere.
keyboard_to() {
    xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true
    within 150 bash -c "[ \"\$(xdotool getwindowfocus)\" = $1 ]"
}

# Loaded: the state before the load began says loading=0 too, but has no title yet.
shows 200 "url=$site/first.html" back=0 visible=1 loading=0 title=First_page || fail "the first page did not show: $(last_state)"
reader=""
for id in $(xdotool search --onlyvisible --pid "$probe" 2>/dev/null); do
    [ "$(xdotool getwindowname "$id")" = "Reader probe" ] || reader="$id"
done
[ -n "$reader" ] || fail "no reader window"
eval "$(xdotool getwindowgeometry --shell "$reader")"
[ "$WIDTH" -ge 520 ] && [ "$HEIGHT" -ge 400 ] || fail "the reader is ${WIDTH}x$HEIGHT"
# A point of the page, at a fraction of its height below the 54-point header.
click_page() {
    xdotool mousemove --window "$reader" $((WIDTH / 2)) $((54 + (HEIGHT - 54) * $1 / 100)) click 1
}
# The reader shot into $1 once two shots 0.2 s apart agree (up to $2 tries): on a busy machine the
# engine may still be painting, or painting again what a closed dialog uncovered.
# A shot of a window that went away can wait forever: the probe's end is said at once, and a
# shot waits 10 s at most.
settled_shot() {
    kill -0 "$probe" 2>/dev/null || fail "the probe ended"
    timeout 10 import -window "$reader" "$1"
    for _ in $(seq "$2"); do
        sleep 0.2
        cp "$1" "$work/previous.png"
        timeout 10 import -window "$reader" "$1"
        [ "$(compare -metric AE "$work/previous.png" "$1" null: 2>&1 || true)" = 0 ] && return 0
    done
    return 1
}
# The page's own region, under the header.
page_of() { convert "$1" -crop "${WIDTH}x$((HEIGHT - 60))+0+60" +repage "$2"; }
# The page after the clicks ($2, shot here) is the page before them ($1): shot again while a busy
# machine paints what a dialog uncovered, until it settles back to what it was. A page whose text
# a script replaced never does, and fails with $3.
page_kept() {
    local changed=""
    page_of "$1" "$work/page-before.png"
    for _ in $(seq 20); do
        settled_shot "$2" 10 || true
        page_of "$2" "$work/page-after.png"
        changed="$(compare -metric AE -fuzz 10% "$work/page-before.png" "$work/page-after.png" null: 2>&1 || true)"
        [ "${changed%% *}" -lt $((WIDTH * HEIGHT / 100)) ] && return 0
        sleep 0.2
    done
    fail "$3 ($changed pixels)"
}

# A link meant for a new window loads here, and back is enabled. Clicked once the engine has
# painted it: a click on a page a busy machine has not drawn yet finds no link.
ground_at() { convert "$1" -format "%[hex:p{$((WIDTH / 2)),$((54 + (HEIGHT - 54) / 2))}]" info:; }
for _ in $(seq 50); do
    settled_shot "$work/first.png" 5 && [ "$(ground_at "$work/first.png")" = D8E8FF ] && break
    sleep 0.1
done
[ "$(ground_at "$work/first.png")" = D8E8FF ] || fail "the first page was never drawn"
click_page 50
shows 100 "url=$site/second.html" back=1 loading=0 || fail "the new-window link did not load in the reader: $(last_state)"
[ "$(xdotool search --onlyvisible --pid "$probe" 2>/dev/null | wc -l)" -eq 2 ] || fail "another window opened"
reader_drawn() { timeout 10 import -window "$reader" "$out/reader.png" && [ "$(identify -format '%k' "$out/reader.png")" -gt 8 ]; }
within 150 reader_drawn || fail "the reader's shot is nearly blank"

# Open in Browser hands on the page shown, not the headline's link.
say browser
within 50 grep -qx "launched $site/second.html" "$work/probe.out" || fail "Open in Browser did not hand on the page shown"

# A javascript: and a file: link (the page's first quarters) load and launch nothing; the
# javascript: link, which would retitle the page and replace its text, runs nothing, clicked twice.
# The mailto: link (the third quarter) goes to the desktop; the last one asks first.
shows 50 title=Second_page || fail "the second page has no title: $(last_state)"
# The page as drawn before the clicks: its three coloured thirds, once the engine has painted them.
page_colours() { convert "$1" -crop "${WIDTH}x$((HEIGHT - 60))+0+60" -format '%k' info:; }
for _ in $(seq 50); do
    settled_shot "$out/before.png" 5 && [ "$(page_colours "$out/before.png")" -gt 8 ] && break
    sleep 0.1
done
[ "$(page_colours "$out/before.png")" -gt 8 ] || fail "the second page was never drawn"
click_page 12
click_page 12
click_page 37
click_page 62
within 50 grep -qx "launched mailto:someone@example.org" "$work/probe.out" || fail "the mailto: link did not reach the desktop"
click_page 87
dialog=""
for _ in $(seq 50); do
    for id in $(xdotool search --onlyvisible --pid "$probe" 2>/dev/null); do
        [ "$(xdotool getwindowname "$id")" = "Quiltdeck" ] && dialog="$id"
    done
    [ -n "$dialog" ] && break
    sleep 0.1
done
[ -n "$dialog" ] || fail "no dialog asked about the other application's link"
keyboard_to "$dialog" || fail "the dialog did not get the keyboard"
import -window "$dialog" "$out/ask.png"
xdotool key Return
within 150 bash -c "! xdotool search --onlyvisible --name '^Quiltdeck\$' >/dev/null" || fail "Return did not close the dialog"
sleep 1.5
shows 1 "url=$site/second.html" back=1 title=Second_page || fail "a refused link changed the page: $(last_state)"
[ "$(grep -c '^launched ' "$work/probe.out")" -eq 2 ] || fail "a refused or cancelled link reached the desktop: $(grep '^launched ' "$work/probe.out")"
page_kept "$out/before.png" "$out/refused.png" "the page's text changed after the clicks"

# Escape hides; the next headline shows the reader again with its back history.
keyboard_to "$reader" || fail "the reader did not get the keyboard back"
xdotool key Escape
shows 50 visible=0 || fail "Escape did not hide the reader: $(last_state)"
say "open $site/fourth.html"
shows 100 "url=$site/fourth.html" back=1 visible=1 loading=0 || fail "the next headline did not show with its history: $(last_state)"

# Neither the hidden frame's javascript: source nor the closed shadow tree's javascript: link runs.
# The page as drawn before the clicks: the link's green ground, once the engine has painted it.
link_ground() { convert "$1" -format "%[hex:p{$((WIDTH / 2)),$((HEIGHT * 3 / 4))}]" info:; }
for _ in $(seq 50); do
    settled_shot "$out/shadow-before.png" 5 && [ "$(link_ground "$out/shadow-before.png")" = D8FFE8 ] && break
    sleep 0.1
done
[ "$(link_ground "$out/shadow-before.png")" = D8FFE8 ] || fail "the fourth page was never drawn, or its frame's javascript: source replaced it: $(last_state)"
click_page 50
click_page 50
sleep 1.5
shows 1 "url=$site/fourth.html" title=Fourth_page || fail "a javascript: URL ran on the fourth page: $(last_state)"
page_kept "$out/shadow-before.png" "$out/shadow-after.png" "the fourth page's text changed after the clicks"

# The engine introduces itself as what it is.
say "open $site/third.html"
shows 100 "url=$site/third.html" back=1 visible=1 loading=0 || fail "the third page did not show: $(last_state)"
for _ in $(seq 50); do
    agent="$(last_state)"
    [[ "$agent" == *title=Third_page,_seen_by_* ]] && break
    sleep 0.1
done
[[ "$agent" == *title=Third_page,_seen_by_*Linux* ]] || fail "the page did not see a Linux user agent: $agent"
[[ "$agent" != *Macintosh* && "$agent" != *Mac_OS* ]] || fail "the reader told the page it is a Mac: $agent"

say quit
within 100 bash -c "! kill -0 $probe" || fail "the probe did not end"
status=0
wait "$probe" || status=$?
probe=""
[ "$status" -eq 0 ] || fail "the probe ended with $status"
log="$QUILTDECK_STATE_DIR/log.txt"
# Once a page: the second page's javascript: and file: links, the fourth page's javascript: URLs.
for expected in "javascript 2" "file 1" "mailto 0" "quiltdeck-smoke 0"; do
    set -- $expected
    [ "$(grep -c "reader: refused $1 link" "$log")" -eq "$2" ] ||
        fail "the $1: links were not logged $2 times: $(cat "$log" 2>/dev/null)"
done
echo "reader_smoke: new-window link inside, back, Open in Browser, refused links, the question, Escape and history, javascript: in frames and closed shadow trees, the user agent; shots in $out"
