#!/usr/bin/env bash
# The window chrome in a real window on a virtual X display, on a session bus of its own (run it
# under dbus-run-session), with a temporary HOME and XDG folders: the top bar is shot as a PNG in
# English; a click on its guide pill opens a window titled "Guide", shot too, and Escape closes
# it; then, with the language set to "zh", the bar is shot again (a CJK font must be installed,
# or its texts show as boxes). Each shot is taken again until it shows what it is checked for, and
# Escape goes out once the guide holds the keyboard. Xvfb, the window manager and the program are
# started and ended here, each by its own process id.
#   tests/smoke/chrome_smoke.sh path/to/quiltdeck output-folder
set -euo pipefail
app_bin="$1"
out="$2"
here="$(cd "$(dirname "$0")" && pwd)"
name=chrome_smoke
. "$(dirname "$0")/desktop.sh"
need_session_bus
fc-list :lang=zh family | grep -q . || fail "no font for Chinese text (scripts/install-deps.sh installs fonts-noto-cjk)"
mkdir -p "$out"

start_desktop 1600x1000

private_home

# Starts the program in a language; the window's id in $window.
start() {
    printf '{"language":"%s","onboarded":true}\n' "$1" >"$state/state.json"
    "$app_bin" >"$work/app.out" 2>"$work/app.err" &
    app=$!
    window="$(wait_window '^Quiltdeck' 20)" ||
        fail "no window: $(cat "$work/app.err")"
    keyboard_to "$window" || fail "the window did not get the keyboard"
}
# The menu bar and the top bar of the window, as a PNG, once they are more than nearly blank.
bar_drawn() {
    import -window "$window" "$work/window.png" && convert "$work/window.png" -crop "x110+0+0" +repage "$1" &&
        [ "$(identify -format '%k' "$1")" -gt 8 ]
}
shoot_bar() { within 150 bar_drawn "$1" || fail "$1 is nearly blank"; }
finish() {
    kill -TERM "$app"
    within 150 bash -c "! kill -0 $app" || fail "the program did not end"
    wait "$app" || true
    app=""
}

start en
shoot_bar "$out/bar-en.png"
pill() { import -window "$window" "$work/window.png" && read -r x y < <("$here/find_pill.py" "$work/window.png" 4); }
within 150 pill || fail "no guide pill in the bar"
xdotool mousemove --window "$window" "$x" "$y" click 1
guide="$(wait_window '^Guide$' 15)" ||
    fail "the guide pill opened no window titled Guide"
keyboard_to "$guide" || fail "the guide did not get the keyboard"
within 150 drawn "$guide" "$out/guide-en.png" || fail "the guide did not draw"
xdotool key Escape
within 150 bash -c "! xdotool search --onlyvisible --name '^Guide\$' >/dev/null" || fail "Escape left the guide open"
kill -0 "$app" || fail "the program ended with the guide"
finish

start zh
shoot_bar "$out/bar-zh.png"
finish
echo "chrome_smoke: guide opened by its pill and closed by Escape; bars in $out/bar-en.png and $out/bar-zh.png"
