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
    xdotool windowactivate --sync "$window" 2>/dev/null || true
}
quit() {
    kill -TERM "$app"
    within 100 bash -c "! kill -0 $app" || fail "the program did not end"
    wait "$app" || true
    app=""
}
press() { xdotool key --delay 120 "$@"; sleep 0.3; }
# The window of the program that is not the main one: the sheet.
sheet_id() {
    for id in $(xdotool search --onlyvisible --pid "$app" 2>/dev/null); do
        [ "$id" = "$window" ] || { echo "$id"; return 0; }
    done
    return 1
}
sheet_gone() { ! xdotool search --onlyvisible --pid "$app" 2>/dev/null | grep -vxq "$window"; }
# About from the menu bar opened by `$1` (F10, or Ctrl+Shift+M while a terminal keeps F10): Left
# wraps to Help, Up to its last item that works (Check for Updates is off in this build); Escape
# closes it.
about_by_keys() {
    xdotool windowactivate --sync "$window" 2>/dev/null || true
    press "$1"
    import -window root "$out/menu-$2.png"
    press Left Up Return
    within 50 sheet_id || fail "$1, Left, Up and Return opened no About"
    [ "$(xdotool getwindowname "$(sheet_id)")" = "About Quiltdeck" ] || fail "$1 opened $(xdotool getwindowname "$(sheet_id)")"
    sleep 0.5
    import -window root "$out/about-$2.png"
    press Escape
    within 50 sheet_gone || fail "Escape left About open ($2)"
}
open_sheet() {
    xdotool windowactivate --sync "$window" 2>/dev/null || true
    xdotool key "$1"
    within 50 sheet_id || fail "$1 opened no sheet"
    sheet="$(sheet_id)"
    sleep 0.8
}
close_sheet() {
    press Escape
    within 50 sheet_gone || fail "Escape left the $1 sheet open"
}
# Tab until the accent pill (found in the dark theme) carries the focus ring; then it is pressed.
tab_to_pill() {
    local shot="$1" x y
    import -window "$window" "$out/$shot.png"
    read -r x y < <("$here/find_button.py" "$out/$shot.png" 110) || fail "no accent button on the card ($shot)"
    for tab in $(seq 16); do
        press Tab
        import -window "$window" "$out/$shot.png"
        if [ "$("$here/pixels.py" near 54,133,227 "$out/$shot.png" $((x - 100)) $((y - 25)) $((x + 100)) $((y + 25)))" -ge 40 ]; then
            echo "$tab"
            return 0
        fi
    done
    fail "16 presses of Tab brought no ring to the card's button ($shot)"
}
# The picker opens with the hint of its empty, focused search field showing.
check_picker() {
    open_sheet ctrl+shift+n
    import -window "$sheet" "$out/picker-$1.png"
    local ink
    ink="$("$here/pixels.py" ink "$out/picker-$1.png" 30 14 300 40)"
    [ "$ink" -ge 80 ] || fail "the picker's search field shows no hint ($ink pixels, $1)"
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
sleep 1
about_by_keys F10 launch

# --- The card: Tab to Install now, Return -----------------------------------------------------------
tabs="$(tab_to_pill install-focused)"
press Return
within 50 logged "install: started" || fail "Return on the focused install button started nothing: $(tail -n5 "$log")"
within 300 logged "setup stage: needsLogin" || fail "the install did not lead to the sign-in: $(tail -n5 "$log")"
sleep 1

# --- Sign in: Tab to its button, Return; the code field has the keyboard --------------------------
tab_to_pill sign-in-focused >/dev/null
press Return
within 100 logged "login: started" || fail "Return on the focused sign-in button started nothing: $(tail -n5 "$log")"
within 100 grep -q '"argv":\["auth","login"\]' "$HOME/.local/bin/claude.log" || fail "the sign-in did not run claude auth login"
sleep 1.5
import -window "$window" "$out/code.png"
press shift+Tab
import -window "$window" "$out/link-focused.png"
press Return
within 50 grep -q '^https://claude.com/cai/oauth/authorize' "$HOME/opened-urls.txt" ||
    fail "Return on the focused sign-in link opened nothing: $(cat "$work/app.err" | tail -n3)"
press Tab
xdotool type --delay 40 "good"
press Return
within 150 grep -q "  setup stage: ready" "$log" || fail "the typed code and Return did not sign in: $(tail -n5 "$log")"
sleep 1

# --- Settings: Tab to Light, Space; Shift+Tab to Dark, Space ----------------------------------------
theme_is() { within 30 bash -c "[ \"\$(python3 -c \"import json; print(json.load(open('$state/state.json'))['themeMode'])\")\" = $1 ]"; }
open_sheet ctrl+shift+comma
press Tab Tab Tab
import -window "$sheet" "$out/settings-en-focused.png"
press space
theme_is light || fail "Space on the focused Light choice did not set the theme: $(value "s.get('themeMode')")"
sleep 0.5
import -window "$sheet" "$out/settings-en-light.png"
press shift+Tab space
theme_is dark || fail "Shift+Tab and Space did not go back to the dark theme: $(value "s.get('themeMode')")"
close_sheet settings

# --- History: Tab to Remove, Space ---------------------------------------------------------------
open_sheet ctrl+shift+y
press Tab Tab
import -window "$sheet" "$out/history-en-focused.png"
press space
within 30 bash -c "[ \$(python3 -c \"import json; print(len(json.load(open('$state/state.json'))['closed']))\") = 1 ]" ||
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
within 50 sheet_gone || fail "the picker stayed open"
within 30 bash -c "python3 -c \"import json,sys; t=json.load(open('$state/state.json'))['openTiles']; sys.exit(not t[0]['isShell'])\"" ||
    fail "Space on the picker's Shell did not make Return open a shell: $(value "s.get('openTiles')")"
within 100 bash -c "for c in \$(pgrep -P $app); do [ \"\$(readlink /proc/\$c/cwd)\" = '$HOME/Projects/marmalade' ] && exit 0; done; exit 1" ||
    fail "no shell tile in marmalade"
sleep 1.5

# --- A tile's name: Suggest clicked at once asks; "x" after the name and Return name the tile -----
eval "$(xdotool getwindowgeometry --shell "$window")"  # X, Y, WIDTH, HEIGHT of the window's inside
import -window root "$out/tile.png"
card_top="$("$here/find_cards.py" "$out/tile.png" $((X + 30)) $((Y + 1)))" || fail "no tile card on the screen"
title_y=$((card_top + 20))
xdotool mousemove --sync $((X + 98)) "$title_y"
xdotool click --repeat 2 --delay 80 1
sleep 0.8
import -window root "$out/editing.png"
field_end="$("$here/pixels.py" longest "$out/editing.png" "$title_y" "$X" $((X + WIDTH)))"
# The one-shot question the Suggest button asks (the browsers' listing asks others).
asked() { grep -q '### 1' "$HOME/.local/bin/claude.log" 2>/dev/null; }
! asked || fail "a suggestion was asked for before Suggest"
xdotool mousemove $((field_end + 25)) "$title_y" click 1
within 50 asked || fail "Suggest clicked without a hover asked for nothing"
sleep 0.3
import -window root "$out/suggesting.png"
sleep 2.5
xdotool type --delay 40 "x"
press Return
sleep 0.5
import -window root "$out/renamed.png"
within 30 bash -c "python3 -c \"import json,sys; t=json.load(open('$state/state.json'))['openTiles']; sys.exit(t[0]['title'] != 'Fix the loginx')\"" ||
    fail "the tile is not named with the suggestion and x: $(value "[t['title'] for t in s['openTiles']]")"

# --- The look popover of the tile's dot, at the window's left edge: inside the window; Escape ---
xdotool mousemove --sync $((X + 39)) "$title_y" click 1
within 50 sheet_id || fail "a click on the tile's dot opened no look popover"
popover="$(sheet_id)"
sleep 0.5
import -window root "$out/look.png"
eval "$(xdotool getwindowgeometry --shell "$popover" | sed 's/^/POPOVER_/')"
# (The window manager's border may count in one of the two by a pixel.)
[ "$POPOVER_X" -ge $((X - 2)) ] && [ $((POPOVER_X + POPOVER_WIDTH)) -le $((X + WIDTH + 2)) ] ||
    fail "the look popover at x $POPOVER_X..$((POPOVER_X + POPOVER_WIDTH)) leaves the window at $X..$((X + WIDTH))"
[ "$POPOVER_Y" -gt "$title_y" ] || fail "the look popover at y $POPOVER_Y does not hang under the dot at $title_y"
press Escape
within 50 sheet_gone || fail "Escape left the look popover open"

# --- The keyboard alone, the terminal holding it: rename, the look popover, About --------------
title_is() {
    within 30 bash -c "python3 -c \"import json,sys; t=json.load(open('$state/state.json'))['openTiles']; sys.exit(t[0]['title'] != '$1')\""
}
xdotool windowactivate --sync "$window" 2>/dev/null || true
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
within 50 sheet_id || fail "Ctrl+Shift+L opened no look popover"
sleep 0.5
import -window root "$out/look-by-keys.png"
press Escape
within 50 sheet_gone || fail "Escape left the look popover open"
about_by_keys ctrl+shift+m terminal

# --- The bar's language and AI titles through the menu bar, the terminal keeping Tab and F10 ------
# Ctrl+Shift+M opens Session: Up wraps to Quit, Up again is Language, Right opens it on English and
# Down twice is Deutsch. In German, Up three times is KI-Titel, which Return switches; Language,
# Right and Return bring English back.
setting_is() { within 30 bash -c "[ \"\$(python3 -c \"import json; print(json.load(open('$state/state.json')).get('$1'))\")\" = '$2' ]"; }
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
xdotool windowactivate --sync "$window" 2>/dev/null || true
xdotool type --delay 40 "exit"
press Return
within 50 grep -q "  tile exit [0-9A-F]* code 0\$" "$log" || fail "the shell tile did not end: $(tail -n3 "$log")"
sleep 0.8
import -window "$window" "$out/ended-focused.png"
ring="$("$here/pixels.py" near 54,133,227 "$out/ended-focused.png" 0 0 "$WIDTH" "$HEIGHT")"
[ "$ring" -ge 40 ] || fail "no ring on the ended tile's button ($ring pixels)"
press F10
within 30 sheet_id || fail "F10 on the ended tile's button opened no menu"
import -window root "$out/menu-ended.png"
press Escape
within 30 sheet_gone || fail "Escape left the menu open"
press Return
within 100 bash -c "[ \$(grep -c '  tile open [0-9A-F]* shell in $HOME/Projects/marmalade\$' '$log') -gt $before ]" ||
    fail "Return on the ended tile's button started no shell: $(tail -n3 "$log")"
sleep 1
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
sleep 2
open_sheet ctrl+shift+comma
press Tab Tab
import -window "$sheet" "$out/settings-de-focused.png"
press space
theme_is dark || fail "Space on the focused Dunkel choice did not set the theme: $(value "s.get('themeMode')")"
sleep 0.5
import -window "$sheet" "$out/settings-de-dark.png"
press Tab space
theme_is light || fail "Tab and Space did not go on to the light theme: $(value "s.get('themeMode')")"
close_sheet settings
before="$(value "len(s['closed'])")"
open_sheet ctrl+shift+y
press Tab Tab
import -window "$sheet" "$out/history-de-focused.png"
press space
within 30 bash -c "[ \$(python3 -c \"import json; print(len(json.load(open('$state/state.json'))['closed']))\") = $((before - 1)) ]" ||
    fail "Space on the focused Entfernen did not remove the row"
close_sheet history
check_picker de
close_sheet picker
quit
echo "keyboard_smoke: About, the card's install, sign-in and link, the sheets, the picker's switch, a tile's name and look, the language and the AI titles, an ended tile's button worked with the keyboard alone ($tabs Tabs to Install); shots in $out"
