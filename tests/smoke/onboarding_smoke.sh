#!/usr/bin/env bash
# The setup card in a real window on a virtual X display, on a session bus of its own (run it
# under dbus-run-session), with a temporary HOME where no `claude` is installed and a fake curl
# comes first on the login shell's search path: the card offers "Install now"; a click on it runs
# the installer the fake curl serves, which puts the fake `claude` in ~/.local/bin, and the card
# moves on to the sign-in step, whose "Sign in with Claude" button is then the card's main button.
# Both states are shot as PNGs, each taken again until it shows the button looked for; ceilings
# catch only a hang. Xvfb, the window manager and the program are started and ended here, each by
# its own process id.
#   tests/smoke/onboarding_smoke.sh path/to/quiltdeck path/to/fake_curl path/to/fake_claude output-folder
set -euo pipefail
app_bin="$1"
fake_curl="$2"
fake_claude="$3"
out="$4"
here="$(cd "$(dirname "$0")" && pwd)"
name=onboarding_smoke
. "$(dirname "$0")/desktop.sh"
need_session_bus
need_no_claude_installed
mkdir -p "$out"

start_desktop 1600x1000

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_CACHE_HOME="$work/home/.cache" XDG_STATE_HOME="$work/home/.local/state" SHELL=/bin/bash NO_AT_BRIDGE=1
unset QUILTDECK_STATE_DIR BRIGHTLOOM_STATE_DIR ANTHROPIC_API_KEY
state="$HOME/.quiltdeck"
mkdir -p "$state" "$HOME/.fake-bin" "$HOME/tmp"
cp "$fake_curl" "$HOME/.fake-bin/curl"
# The login shell finds the fake curl first; what it serves copies the fake claude.
cat >"$HOME/.profile" <<PROFILE
PATH="\$HOME/.fake-bin:\$HOME/.local/bin:\$PATH"; export PATH
export FAKE_CURL_CLAUDE='$fake_claude' TMPDIR="\$HOME/tmp"
PROFILE
printf '{"themeMode":"dark","language":"en"}\n' >"$state/state.json"
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
log="$state/log.txt"
logged() { grep -q "  $1\$" "$log"; }

"$app_bin" >"$work/app.out" 2>"$work/app.err" &
app=$!
window="$(wait_window '^Quiltdeck' 20)" ||
    fail "no window: $(cat "$work/app.err")"
keyboard_to "$window" || fail "the window did not get the keyboard"
within 200 logged "setup stage: needsInstall" || fail "no install offered: $(tail -n5 "$log")"

# The card's main button in a new shot $1, below row $2, at $x $y.
button_below() { import -window "$window" "$1" && read -r x y < <("$here/find_button.py" "$1" 110) && [ "$y" -gt "$2" ]; }
# The bar ends 52 points under the menu bar: the card's main button lies below both.
# A loaded machine can still be placing the window or the card when the shot is taken: shoot and
# click again while the click starts nothing.
started=""
for _ in 1 2 3; do
    within 150 button_below "$out/install.png" 0 || fail "no Install now button on the card"
    xdotool mousemove --window "$window" "$x" "$y" click 1
    if within 50 logged "install: started"; then started=1; break; fi
done
[ -n "$started" ] || fail "Install now started nothing: $(tail -n5 "$log")"
within 300 logged "install: exited 0, last line: ✓ Claude Code successfully installed!" ||
    fail "the install did not end well: $(tail -n5 "$log")"
within 150 logged "setup stage: needsLogin" || fail "the setup did not move on to the sign-in: $(tail -n5 "$log")"
[ -x "$HOME/.local/bin/claude" ] || fail "the installer did not put claude in ~/.local/bin"
[ -z "$(ls -A "$HOME/tmp")" ] || fail "the installer's download was left: $(ls -A "$HOME/tmp")"

# The main button is now the sign-in step's, one row further down.
y1="$y"
within 150 button_below "$out/sign-in.png" "$y1" || fail "the card's main button did not move to the sign-in step (from $y1)"

kill -TERM "$app"
within 150 bash -c "! kill -0 $app" || fail "the program did not end"
wait "$app" || true
app=""
echo "onboarding_smoke: Install now with the fake curl leads to Sign in with Claude; shots in $out"
