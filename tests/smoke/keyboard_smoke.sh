#!/usr/bin/env bash
# The keyboard alone in a real window on a virtual X display, on a session bus of its own (run it
# under dbus-run-session), with a temporary HOME where no `claude` is installed and a fake curl
# comes first on the login shell's search path.
# In English and the dark theme: from launch F10 opens the menu bar, and Left, Up and Return About,
# which Escape closes; on the setup card, Tab brings a ring to "Install now" and Return starts the
# install; Tab and Return on "Sign in with Claude", Shift+Tab from the code field to the link
# "Browser didn't open?" and Return open the sign-in page, then Tab back, the code typed and Return
# sign in. In the settings, Tab to the light theme and Space set
# it; in the history, Tab to Remove and Space remove a row; the picker opens with its hint shown in
# the focused search field, Ctrl+Tab reaches its Claude / Shell switch and Space on Shell makes
# Return open a shell. On a tile's title editor, Suggest clicked without a hover asks the
# assistant, and "x" typed after the name arrives and Return name the tile; the look popover of its
# dot stays inside the window, under the dot, and Escape closes it. With the tile's terminal
# holding the keyboard: Ctrl+Shift+R, a name, Tab to Save and Space rename it, and so do a name,
# Tab, Shift+Tab and Return; Ctrl+Shift+L opens the tile's look popover; Ctrl+Shift+M opens the
# menu bar for About, and for the language (German, then English again) and the AI titles (switched
# in German) in its Session menu. The shell ended by "exit": its Start fresh has the keyboard, F10
# opens the menu bar, and Return starts a shell anew.
# In German and the light theme: the settings, the history and the picker once more.
# Keys go out once the window, sheet or popover they are for holds the keyboard, and a step that
# reads the screen waits for the screen to show what it looks for; ceilings catch only a hang.
# Every step is shot as a PNG. Xvfb, the window manager and the program are started and ended here,
# each by its own process id.
#   tests/smoke/keyboard_smoke.sh path/to/quiltdeck path/to/fake_curl path/to/fake_claude output-folder
set -euo pipefail
app_bin="$1"
fake_curl="$2"
fake_claude="$3"
out="$4"
here="$(cd "$(dirname "$0")" && pwd)"
name=keyboard_smoke
. "$(dirname "$0")/desktop.sh"
need_session_bus
need_no_claude_installed
mkdir -p "$out"

start_desktop 1920x1200

private_home
unset ANTHROPIC_API_KEY
mkdir -p "$HOME/.fake-bin" "$HOME/tmp" "$HOME/Projects/marmalade/.git"
cp "$fake_curl" "$HOME/.fake-bin/curl"
# The login shell finds the fake curl first; what it serves copies the fake claude, whose one-shot
# answer (a second late) is the suggested name.
cat >"$HOME/.profile" <<PROFILE
PATH="\$HOME/.fake-bin:\$HOME/.local/bin:\$PATH"; export PATH
export FAKE_CURL_CLAUDE='$fake_claude' TMPDIR="\$HOME/tmp" FAKE_CLAUDE_ANSWER='Fix the login' FAKE_CLAUDE_DELAY=1
PROFILE
# The sign-in page "opens" by a handler of https links that writes the address down.
mkdir -p "$XDG_DATA_HOME/applications" "$XDG_CONFIG_HOME"
cat >"$HOME/.fake-bin/record-url" <<'REC'
#!/bin/sh
printf '%s\n' "$1" >>"$HOME/opened-urls.txt"
REC
chmod +x "$HOME/.fake-bin/record-url"
cat >"$XDG_DATA_HOME/applications/record-url.desktop" <<DESKTOP
[Desktop Entry]
Type=Application
Name=Record URL
Exec=$HOME/.fake-bin/record-url %u
MimeType=x-scheme-handler/https;
NoDisplay=true
DESKTOP
printf '[Default Applications]\nx-scheme-handler/https=record-url.desktop\n' >"$XDG_CONFIG_HOME/mimeapps.list"
log="$state/log.txt"
logged() { grep -q "  $1\$" "$log"; }
value() { python3 -c "import json,sys; s=json.load(open('$state/state.json')); print($1)"; }

window=""
launch() {
    "$app_bin" >>"$work/app.out" 2>>"$work/app.err" &
    app=$!
    window="$(wait_window '^Quiltdeck' 20)" || fail "no window: $(cat "$work/app.err")"
    keyboard_to "$window" || fail "the window did not get the keyboard"
}
quit() {
    kill -TERM "$app"
    within 150 bash -c "! kill -0 $app" || fail "the program did not end"
    wait "$app" || true
    app=""
}
# Keys for the window, sheet or popover that holds the keyboard. The pause lets the program take in
# a key that moves the keyboard inside a window (to a field, a menu) before the next.
press() { xdotool key --delay 120 "$@"; sleep 0.3; }
# The names of the program's windows, for a failure's message.
window_names() {
    for id in $(xdotool search --onlyvisible --pid "$app" 2>/dev/null); do printf '"%s" ' "$(xdotool getwindowname "$id" 2>/dev/null)"; done
}
# The program's window other than the main one named $1, in $named. (xdotool's --pid and --name
# together match either.)
named() {
    for id in $(xdotool search --onlyvisible --pid "$app" 2>/dev/null); do
        [ "$id" != "$window" ] && [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "$1" ] && { named="$id"; return 0; }
    done
    return 1
}
# Gives the main window the keyboard (after a sheet, a popover or a menu).
main_keyboard() { keyboard_to "$window" || fail "the window did not get the keyboard back ($1)"; }
# About from the menu bar opened by `$1` (F10, or Ctrl+Shift+M while a terminal keeps F10): Left
# wraps to Help, Up to its last item that works (Check for Updates is off in this build); Escape
# closes it once About holds the keyboard.
about_by_keys() {
    main_keyboard "$2"
    press "$1"
    within 150 other_window || fail "$1 opened no menu"
    import -window root "$out/menu-$2.png"
    press Left Up Return
    within 150 named "About Quiltdeck" || fail "$1, Left, Up and Return opened no About: $(window_names)"
    local shown
    shown="$(milliseconds)"
    wait_keyboard "$named" || fail "About did not get the keyboard ($2)"
    about_figures="${about_figures:-}${about_figures:+, }$(($(milliseconds) - shown)) ms ($2)"
    import -window root "$out/about-$2.png"
    press Escape
    within 150 no_other_window || fail "Escape left About open ($2)"
}
open_sheet() {
    main_keyboard "$1"
    xdotool key "$1"
    within 150 other_window || fail "$1 opened no sheet"
    sheet="$other_id"
    wait_keyboard "$sheet" || fail "the sheet of $1 did not get the keyboard"
}
close_sheet() {
    press Escape
    within 150 no_other_window || fail "Escape left the $1 sheet open"
}
# A shot of the window into $1 once an accent pill (the dark theme's) at least $3 pixels wide (140)
# lies below row $2: the pill's centre in $pill_x, $pill_y.
pill_below() {
    import -window "$window" "$1" || return 1
    read -r pill_x pill_y < <("$here/find_button.py" "$1" 110 "${3:-140}") && [ "$pill_y" -gt "$2" ]
}
# A shot of the window into $1 that differs from the picture whose signature is $2.
changed_from() { import -window "$window" "$1" && [ "$(identify -format '%#' "$1")" != "$2" ]; }
# The signature of a new shot of the window into $1.
signature() { import -window "$window" "$1" && identify -format '%#' "$1"; }
# Shoots the window into $1 until two shots in a row are alike: the last frame of a change (a
# focus ring fades in over a few frames) is drawn.
settle() { wait_steady signature "$1"; }
# The focus ring on the accent pill around $2 $3 in the shot $1.
ringed() { [ "$("$here/pixels.py" near 54,133,227 "$1" $(($2 - 78)) $(($3 - 18)) $(($2 + 78)) $(($3 + 18)))" -ge 40 ]; }
# Tab until the accent pill below row $2 carries the focus ring; then it is pressed. Each Tab moves
# a ring: the next Tab waits for the window to draw that move to its end, so that every shot shows
# the Tab just sent.
tab_to_pill() {
    local shot="$out/$1.png" x y before tab
    settle "$shot" || fail "the card did not stand still ($1)"
    within 150 pill_below "$shot" "${2:-0}" || fail "no accent button on the card ($1)"
    settle "$shot" || fail "the card did not stand still ($1)"
    x="$pill_x" y="$pill_y"
    for tab in $(seq 16); do
        before="$(identify -format '%#' "$shot")"
        xdotool key Tab
        within 150 changed_from "$shot" "$before" || fail "Tab $tab drew nothing ($1)"
        settle "$shot" || fail "the window did not stand still after Tab $tab ($1)"
        if ringed "$shot" "$x" "$y"; then
            echo "$tab"
            return 0
        fi
    done
    fail "16 presses of Tab brought no ring to the card's button ($1)"
}
# The picker opens with the hint of its empty, focused search field showing.
hinted() { import -window "$sheet" "$1" && ink="$("$here/pixels.py" ink "$1" 30 14 300 40)" && [ "$ink" -ge 80 ]; }
check_picker() {
    open_sheet ctrl+shift+n
    ink=0
    within 150 hinted "$out/picker-$1.png" || fail "the picker's search field shows no hint ($ink pixels, $1)"
}

# === English, dark: the setup card, sign-in, the sheets and a tile's name =========================
cat >"$state/state.json" <<EOF
{"themeMode":"dark","language":"en",
 "closed":[
 {"title":"Fix the build","name":"quince","cwd":"$HOME/Projects/quince","isShell":false,"closedAt":786000000},
 {"title":"shell","name":"marmalade","cwd":"$HOME/Projects/marmalade","isShell":true,"closedAt":785990000}]}
EOF
launch
within 200 logged "setup stage: needsInstall" || fail "no install offered: $(tail -n5 "$log")"
about_by_keys F10 launch

# --- The card: Tab to Install now, Return -----------------------------------------------------------
main_keyboard install
tabs="$(tab_to_pill install-focused)"
within 150 pill_below "$out/install-focused.png" 0 || fail "no accent button on the card (install)"
install_y="$pill_y"
press Return
within 150 logged "install: started" || fail "Return on the focused install button started nothing: $(tail -n5 "$log")"
within 300 logged "setup stage: needsLogin" || fail "the install did not lead to the sign-in: $(tail -n5 "$log")"

# --- Sign in: Tab to its button, Return; the code field has the keyboard --------------------------
# The sign-in step's button lies below the install step's.
tab_to_pill sign-in-focused "$install_y" >/dev/null
sign_in_y="$pill_y"
press Return
within 150 logged "login: started" || fail "Return on the focused sign-in button started nothing: $(tail -n5 "$log")"
within 150 grep -q '"argv":\["auth","login"\]' "$HOME/.local/bin/claude.log" || fail "the sign-in did not run claude auth login"
# The code field, which takes the keyboard as it shows, comes with its own accent button (Connect,
# narrower), below the sign-in button (whose centre a ring moves by a few pixels).
within 150 pill_below "$out/code.png" $((sign_in_y + 10)) 60 || fail "no code field came with the sign-in: $(tail -n5 "$log")"
press shift+Tab
import -window "$window" "$out/link-focused.png"
press Return
within 150 grep -q '^https://claude.com/cai/oauth/authorize' "$HOME/opened-urls.txt" ||
    fail "Return on the focused sign-in link opened nothing: $(cat "$work/app.err" | tail -n3)"
main_keyboard link
press Tab
xdotool type --delay 40 "good"
press Return
within 150 grep -q "  setup stage: ready" "$log" || fail "the typed code and Return did not sign in: $(tail -n5 "$log")"

# --- Settings: Tab to Light, Space; Shift+Tab to Dark, Space ----------------------------------------
theme_is() { within 150 bash -c "[ \"\$(python3 -c \"import json; print(json.load(open('$state/state.json'))['themeMode'])\")\" = $1 ]"; }
open_sheet ctrl+shift+comma
press Tab Tab Tab
import -window "$sheet" "$out/settings-en-focused.png"
press space
theme_is light || fail "Space on the focused Light choice did not set the theme: $(value "s.get('themeMode')")"
import -window "$sheet" "$out/settings-en-light.png"
press shift+Tab space
theme_is dark || fail "Shift+Tab and Space did not go back to the dark theme: $(value "s.get('themeMode')")"
close_sheet settings

# --- History: Tab to Remove, Space ---------------------------------------------------------------
open_sheet ctrl+shift+y
press Tab Tab
import -window "$sheet" "$out/history-en-focused.png"
press space
within 150 bash -c "[ \$(python3 -c \"import json; print(len(json.load(open('$state/state.json'))['closed']))\") = 1 ]" ||
    fail "Space on the focused Remove did not remove the row: $(value "s.get('closed')")"
import -window "$sheet" "$out/history-en-removed.png"
close_sheet history

# --- The picker: its hint shows; a shell tile in marmalade ------------------------------------------
check_picker en
# Ctrl+Tab to the switch's Claude, on to Shell, Space; Tab to Close; back to the field.
press ctrl+Tab ctrl+Tab
import -window "$sheet" "$out/picker-switch-focused.png"
press space Tab
import -window "$sheet" "$out/picker-close-focused.png"
press ctrl+shift+Tab ctrl+shift+Tab ctrl+shift+Tab
xdotool type --delay 40 "marma"
press Return
within 150 no_other_window || fail "the picker stayed open"
within 150 bash -c "python3 -c \"import json,sys; t=json.load(open('$state/state.json'))['openTiles']; sys.exit(not t[0]['isShell'])\"" ||
    fail "Space on the picker's Shell did not make Return open a shell: $(value "s.get('openTiles')")"
within 150 bash -c "for c in \$(pgrep -P $app); do [ \"\$(readlink /proc/\$c/cwd)\" = '$HOME/Projects/marmalade' ] && exit 0; done; exit 1" ||
    fail "no shell tile in marmalade"

# --- A tile's name: Suggest clicked at once asks; "x" after the name and Return name the tile -----
eval "$(xdotool getwindowgeometry --shell "$window")"  # X, Y, WIDTH, HEIGHT of the window's inside
wait_card_still "$out/tile.png" $((X + 30)) $((Y + 1)) || fail "no tile card stood still on the screen"
title_y=$((card_top + 20))
# Where the longest run of one colour on the title's row ends: the card's end, and with the
# editor open the field's, once two shots in a row agree.
run_end() { "$here/pixels.py" longest "$1" "$title_y" "$X" $((X + WIDTH)); }
plain_end="$(run_end "$out/tile.png")"
field_end_in() {
    local end
    import -window root "$1" && end="$(run_end "$1")" && [ "$end" != "$plain_end" ] && echo "$end"
}
xdotool mousemove --sync $((X + 98)) "$title_y"
xdotool click --repeat 2 --delay 80 1
wait_steady field_end_in "$out/editing.png" || fail "a double click on the title opened no editor"
field_end="$steady"
# The one-shot question the Suggest button asks (the browsers' listing asks others).
asked() { grep -q '### 1' "$HOME/.local/bin/claude.log" 2>/dev/null; }
! asked || fail "a suggestion was asked for before Suggest"
# The ink of the field's text: an ellipsis while the question is out, then the name.
field_ink() { import -window root "$1" && "$here/pixels.py" ink "$1" $((X + 70)) $((title_y - 8)) $((field_end - 10)) $((title_y + 8)); }
asking() { [ "$(field_ink "$1")" -lt 100 ]; }
answered() { [ "$(field_ink "$1")" -ge 150 ]; }
xdotool mousemove $((field_end + 25)) "$title_y" click 1
within 150 asked || fail "Suggest clicked without a hover asked for nothing"
within 150 asking "$out/suggesting.png" || fail "the field showed no ellipsis while the name was asked for"
within 150 answered "$work/answered.png" || fail "the suggested name did not come into the field"
xdotool type --delay 40 "x"
press Return
within 150 bash -c "python3 -c \"import json,sys; t=json.load(open('$state/state.json'))['openTiles']; sys.exit(t[0]['title'] != 'Fix the loginx')\"" ||
    fail "the tile is not named with the suggestion and x: $(value "[t['title'] for t in s['openTiles']]")"
import -window root "$out/renamed.png"

# --- The look popover of the tile's dot, at the window's left edge: inside the window; Escape ---
xdotool mousemove --sync $((X + 39)) "$title_y" click 1
within 150 other_window || fail "a click on the tile's dot opened no look popover"
popover="$other_id"
wait_keyboard "$popover" || fail "the look popover did not get the keyboard"
import -window root "$out/look.png"
eval "$(xdotool getwindowgeometry --shell "$popover" | sed 's/^/POPOVER_/')"
# (The window manager's border may count in one of the two by a pixel.)
[ "$POPOVER_X" -ge $((X - 2)) ] && [ $((POPOVER_X + POPOVER_WIDTH)) -le $((X + WIDTH + 2)) ] ||
    fail "the look popover at x $POPOVER_X..$((POPOVER_X + POPOVER_WIDTH)) leaves the window at $X..$((X + WIDTH))"
[ "$POPOVER_Y" -gt "$title_y" ] || fail "the look popover at y $POPOVER_Y does not hang under the dot at $title_y"
press Escape
within 150 no_other_window || fail "Escape left the look popover open"

# --- The keyboard alone, the terminal holding it: rename, the look popover, About --------------
title_is() {
    within 150 bash -c "python3 -c \"import json,sys; t=json.load(open('$state/state.json'))['openTiles']; sys.exit(t[0]['title'] != '$1')\""
}
main_keyboard terminal
press ctrl+shift+r
xdotool type --delay 40 "Kept"
press Tab Tab
import -window root "$out/rename-save-focused.png"
press space
title_is Kept || fail "a name, Tab to Save and Space did not name the tile: $(value "[t['title'] for t in s['openTiles']]")"
press ctrl+shift+r
xdotool type --delay 40 "Again"
press Tab shift+Tab Return
title_is Again || fail "a name, Tab, Shift+Tab and Return did not name the tile: $(value "[t['title'] for t in s['openTiles']]")"
press ctrl+shift+l
within 150 other_window || fail "Ctrl+Shift+L opened no look popover"
wait_keyboard "$other_id" || fail "the look popover by keys did not get the keyboard"
import -window root "$out/look-by-keys.png"
press Escape
within 150 no_other_window || fail "Escape left the look popover open"
about_by_keys ctrl+shift+m terminal

# --- The bar's language and AI titles through the menu bar, the terminal keeping Tab and F10 ------
# Ctrl+Shift+M opens Session: Up wraps to Quit, Up again is Language, Right opens it on English and
# Down twice is Deutsch. In German, Up three times is KI-Titel, which Return switches; Language,
# Right and Return bring English back.
setting_is() { within 150 bash -c "[ \"\$(python3 -c \"import json; print(json.load(open('$state/state.json')).get('$1'))\")\" = '$2' ]"; }
press ctrl+shift+m Up Up Right
import -window root "$out/menu-language.png"
press Down Down Return
setting_is language de || fail "Session, Language, Deutsch by keys left the language $(value "s.get('language')")"
titles="$(value "s.get('aiTitles')")"
press ctrl+shift+m Up Up Up
import -window root "$out/menu-ai-titles-de.png"
press Return
setting_is aiTitles "$([ "$titles" = True ] && echo False || echo True)" ||
    fail "Return on Sitzung, KI-Titel left the AI titles $(value "s.get('aiTitles')")"
press ctrl+shift+m Up Up Right Return
setting_is language en || fail "Sprache, English by keys left the language $(value "s.get('language')")"
# --- An ended tile by keys alone: its Start fresh takes the keyboard with a ring, F10 opens the menu
# bar over it, and Return starts a new shell in its place ----------------------------------------
shells_opened() { grep -c "  tile open [0-9A-F]* shell in $HOME/Projects/marmalade\$" "$log" || true; }
before="$(shells_opened)"
main_keyboard exit
xdotool type --delay 40 "exit"
press Return
within 150 grep -q "  tile exit [0-9A-F]* code 0\$" "$log" || fail "the shell tile did not end: $(tail -n3 "$log")"
ring=0
ringed_anywhere() {
    import -window "$window" "$1" && ring="$("$here/pixels.py" near 54,133,227 "$1" 0 0 "$WIDTH" "$HEIGHT")" && [ "$ring" -ge 40 ]
}
within 150 ringed_anywhere "$out/ended-focused.png" || fail "no ring on the ended tile's button ($ring pixels)"
press F10
within 150 other_window || fail "F10 on the ended tile's button opened no menu"
import -window root "$out/menu-ended.png"
press Escape
within 150 no_other_window || fail "Escape left the menu open"
press Return
within 150 bash -c "[ \$(grep -c '  tile open [0-9A-F]* shell in $HOME/Projects/marmalade\$' '$log') -gt $before ]" ||
    fail "Return on the ended tile's button started no shell: $(tail -n3 "$log")"
import -window "$window" "$out/ended-restarted.png"
quit

# === German, light: the sheets and the picker ======================================================
python3 - "$state/state.json" <<'PY'
import json, sys
s = json.load(open(sys.argv[1]))
s.update(themeMode="light", language="de")
s["closed"] = s.get("closed", []) + [{"title": "Zweiter", "name": "quince", "cwd": "/tmp", "isShell": True, "closedAt": 786000100}]
json.dump(s, open(sys.argv[1], "w"))
PY
launch
open_sheet ctrl+shift+comma
press Tab Tab
import -window "$sheet" "$out/settings-de-focused.png"
press space
theme_is dark || fail "Space on the focused Dunkel choice did not set the theme: $(value "s.get('themeMode')")"
import -window "$sheet" "$out/settings-de-dark.png"
press Tab space
theme_is light || fail "Tab and Space did not go on to the light theme: $(value "s.get('themeMode')")"
close_sheet settings
before="$(value "len(s['closed'])")"
open_sheet ctrl+shift+y
press Tab Tab
import -window "$sheet" "$out/history-de-focused.png"
press space
within 150 bash -c "[ \$(python3 -c \"import json; print(len(json.load(open('$state/state.json'))['closed']))\") = $((before - 1)) ]" ||
    fail "Space on the focused Entfernen did not remove the row"
close_sheet history
check_picker de
close_sheet picker
quit
echo "keyboard_smoke: About, the card's install, sign-in and link, the sheets, the picker's switch, a tile's name and look, the language and the AI titles, an ended tile's button worked with the keyboard alone ($tabs Tabs to Install; About held the keyboard after $about_figures); shots in $out"
