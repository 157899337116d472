#!/usr/bin/env bash
# The GPU path in a real window: vantel-term --gpu runs sh on a virtual X display; its renderer
# must report healthy frames and the window must show the colour the shell set as background.
# Then again with OpenGL held at 3.0 (MESA_GL_VERSION_OVERRIDE): the view must fall back to its
# own drawing and still show the shell's output. Keys go out once the window holds the keyboard. Xvfb, the window manager and each vantel-term are
# started and ended here, each by its own process id.
#   tests/smoke/vantel_term_gpu_smoke.sh path/to/vantel-term [screenshot-prefix]
set -euo pipefail
term="$1"
prefix="${2:-vantel_term_gpu_smoke}"
name=vantel_term_gpu_smoke
. "$(dirname "$0")/desktop.sh"

start_desktop 1024x768

export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export LIBGL_ALWAYS_SOFTWARE=1

# Runs vantel-term --gpu (with the environment given first), types a command that sets the
# background to rgb(32, 64, 128) and prints a word, shoots the window, and ends the shell.
run() {
    local name="$1"; shift
    env "$@" "$term" --gpu --cols 60 --rows 12 --dump-screen -- /bin/sh >"$work/$name.screen" 2>"$work/$name.log" &
    app=$!
    local window=""
    for _ in $(seq 100); do
        window="$(xdotool search --onlyvisible --pid "$app" 2>/dev/null | head -n1 || true)"
        [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || fail "$name: no window: $(cat "$work/$name.log")"
    keyboard_to "$window" || fail "$name: the window did not get the keyboard"
    word="gpu-$RANDOM"
    xdotool type --delay 20 "printf '\\033]11;rgb:20/40/80\\007'; echo $word"
    xdotool key Return
    # The shot is taken again until the window shows the background the shell set; the checks
    # after the run tell what it shows if that never comes.
    within 150 shows_background "$window" "$prefix-$name.png" || true
    xdotool type --delay 20 "exit"
    xdotool key Return
    within 150 bash -c "! kill -0 $app" || fail "$name: vantel-term did not close with its shell"
    local status=0
    wait "$app" || status=$?
    app=""
    [ "$status" -eq 0 ] || fail "$name: vantel-term ended with $status: $(cat "$work/$name.log")"
    grep -qx "$word" "$work/$name.screen" || fail "$name: the shell did not print $word"
}

# A new shot of window $1 into $2 that shows the background the shell sets.
shows_background() { import -window "$1" "$2" && [ "$(colour "$2" 200 60)" = "32,64,128" ]; }
# The colour at a point of a screenshot, as r,g,b.
colour() { convert "$1" -format "%[fx:int(255*p{$2,$3}.r)],%[fx:int(255*p{$2,$3}.g)],%[fx:int(255*p{$2,$3}.b)]" info:; }

run gpu
grep -q "GPU renderer healthy" "$work/gpu.log" || fail "gpu: no healthy frame: $(cat "$work/gpu.log")"
[ "$(colour "$prefix-gpu.png" 200 60)" = "32,64,128" ] || fail "gpu: the window does not show the GPU frame ($(colour "$prefix-gpu.png" 200 60))"

run fallback MESA_GL_VERSION_OVERRIDE=3.0
grep -q "GPU renderer fell back to the CPU renderer" "$work/fallback.log" ||
    fail "fallback: the view did not fall back: $(cat "$work/fallback.log")"
colours="$(identify -format '%k' "$prefix-fallback.png")"
[ "$colours" -gt 2 ] || fail "fallback: the window is blank ($colours colours)"
[ "$(colour "$prefix-fallback.png" 200 60)" = "32,64,128" ] || fail "fallback: the view's background is not shown"
echo "vantel_term_gpu_smoke: healthy GPU frames; the fallback shows the shell ($colours colours)"
