#!/usr/bin/env bash
# The clipboard on a real Wayland display: pasteboard-probe reads once from wayland-owner, which
# writes as real programs do (one plain write, up to the first EAGAIN, without end, never, live and
# slow, a picture a byte at a time), and copies out for wl-paste to read. Each row runs on a
# headless sway of its own, with a keyboard wayland-owner adds, all rows at once; every process is
# started and ended here by its id. sway refuses to run as root: as root, all that is on the display
# runs as an unused uid, with a runtime folder of its own and copies of the programs it can reach.
# Without sway the test is skipped, unless QUILTDECK_REQUIRE_WAYLAND is set (CI), where it fails.
#   tests/smoke/wayland_smoke.sh path/to/pasteboard-probe path/to/wayland-owner
# shellcheck disable=SC2317 # cleanup and end are run from traps
set -euo pipefail
[ "$(uname -s)" = Linux ] || { echo "wayland_smoke: skipped: not on Linux"; exit 77; }
unavailable() {
    if [ -n "${QUILTDECK_REQUIRE_WAYLAND:-}" ]; then echo "wayland_smoke: $1" >&2; exit 1; fi
    echo "wayland_smoke: skipped: $1"
    exit 77
}
for tool in sway wl-paste; do command -v "$tool" >/dev/null || unavailable "$tool is not installed"; done

big=4587520
# name | wayland-owner's mode, or copy-out BYTES | the probe's options | what must hold
#   key=V, key<=V, key>=V on the probe's figures (how: 0 whole, 1 noAnswer, 2 stopped, 3 gone,
#   4 tooLarge, 5 cancelled), and on the owner's: unread (written and never read), gap (the longest
#   time between two parts, ms), goneAfterEnd (ms from the read's end until the owner's writes
#   failed); V is a number or another key. Every row also wants the probe (or wl-paste) to exit 0.
rows=(
    "one plain write() of the whole text|plain-whole $big|--busy 1|how=0 bytes=$big came=$big after=0"
    "plain write() calls up to the first EAGAIN|plain-eagain $big|--busy 1|how=0 bytes=$big came=$big after=0"
    "an endless owner, cut at the limit, held to the read-ahead|endless|--limit 67108864 --linger 3000 --ahead 16777216 --drain 33554432|how=4 bytes=67108864 came=67108864 peakMiB<=40 goneAfterEnd<=1500"
    "an owner that never answers|hung||how=1 bytes=0 ms>=9800 ms<=12000"
    "a live owner, 64 KiB each 0.5 s|slow-live 8||how=0 bytes=1572864 came=1572864 ms>=3900"
    "a read let go of mid-way: the owner writes no more|endless|--busy 1 --cancel-after 500 --linger 3000|how=5 bytes=came after=0 goneAfterEnd<=1000 unread<=1114112"
    "a picture a byte each 10 ms|picture-trickle 10|--read items|how=0 png=70"
    "a picture read let go of: the owner writes no more|picture-trickle 200|--read items --cancel-after 1500 --linger 3000|how=5 after=0 goneAfterEnd<=1000"
    "a full read-ahead: the owner waits in its write, not cut|endless|--limit 3145728 --ahead 2097152 --drain 81920|how=4 bytes=3145728 ms>=12000 gap>=8000"
    "an owner that ends inside a character: a pipe that closes reads as whole (the view cuts the character)|die-inside 2||how=0 bytes=5002 came=5002"
    "copy out: wl-paste reads our copy whole|copy-out $big||same=1 pasted=$big"
)

work="$(mktemp -d "${TMPDIR:-/tmp}/wayland-smoke.XXXXXX")"
chmod 0755 "$work"
runs=()
cleanup() {
    for run in "${runs[@]}"; do kill "$run" 2>/dev/null || true; done
    for run in "${runs[@]}"; do wait "$run" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' TERM INT

as_user=()
if [ "$(id -u)" -eq 0 ]; then
    command -v setpriv >/dev/null || unavailable "setpriv is not installed"
    # A uid and gid nobody has and no process runs as.
    taken=" $({ getent passwd; getent group; } | cut -d: -f3 | tr '\n' ' ') $(ps -e -o uid= | sort -u | tr -d ' ' | tr '\n' ' ') "
    uid=$((61000 + $$ % 3000))
    while [[ $taken == *" $uid "* ]]; do uid=$((uid + 1)); done
    as_user=(setpriv --reuid="$uid" --regid="$uid" --clear-groups)
fi
mkdir "$work/bin"
install -m 0755 "$1" "$work/bin/pasteboard-probe"
install -m 0755 "$2" "$work/bin/wayland-owner"
"${as_user[@]}" test -x "$work/bin/pasteboard-probe" || unavailable "the test user cannot reach $work"

# Polls FILE until it has a line starting with WORD; fails when PID ends or SECONDS pass.
wait_line() {
    local file="$1" word="$2" pid="$3" seconds="$4"
    for _ in $(seq $((seconds * 20))); do
        grep -q "^$word" "$file" 2>/dev/null && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}
end() {
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}

# One row, in its folder: a sway, a keyboard, the owner, the probe; prints "ok" or why not.
row() {
    local dir="$1" owner="$2" options="$3" checks="$4"
    local run="$dir/run" display
    # Each row runs in a shell of its own: these are what it ends when it ends.
    sway="" keyboard="" held="" reader=""
    trap 'for pid in $reader $held $keyboard $sway; do end "$pid"; done' EXIT
    trap 'exit 1' TERM
    mkdir -m 0700 "$run"
    [ -z "${uid:-}" ] || chown "$uid:$uid" "$run"
    echo "xwayland disable" >"$dir/sway.conf"
    echo "exec printenv WAYLAND_DISPLAY >$run/display" >>"$dir/sway.conf"
    local on_display=("${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$run" XDG_RUNTIME_DIR="$run"
        LANG=C.UTF-8 ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0:quarantine_size_mb=8"
        UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory GDK_BACKEND=wayland)
    "${on_display[@]}" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
        sway -c "$dir/sway.conf" >"$dir/sway.log" 2>&1 &
    sway=$!
    # The socket is there and sway has run its configuration.
    if ! wait_line "$run/display" wayland "$sway" 15; then
        echo "sway did not start"
        tail -n 5 "$dir/sway.log"
        return 1
    fi
    display="$(cat "$run/display")"
    [ -S "$run/$display" ] || { echo "sway made no socket"; return 1; }
    on_display+=(WAYLAND_DISPLAY="$display")
    "${on_display[@]}" "$work/bin/wayland-owner" keyboard >"$dir/keyboard.log" 2>&1 &
    keyboard=$!
    wait_line "$dir/keyboard.log" keyboard "$keyboard" 10 || { echo "no keyboard could be added"; return 1; }
    local -A got=()
    if [[ $owner == copy-out* ]]; then
        { base64 -w 76 </dev/urandom || true; } | head -c "${owner#copy-out }" >"$dir/copied"
        chmod 0644 "$dir/copied"
        "${on_display[@]}" "$work/bin/pasteboard-probe" --copy-out "$dir/copied" >"$dir/probe.out" 2>"$dir/probe.err" &
        held=$!
        wait_line "$dir/probe.out" owning "$held" 30 || { echo "the probe did not copy"; return 1; }
        "${on_display[@]}" timeout -k 5 60 wl-paste -n >"$dir/pasted" 2>"$dir/wl-paste.err" &
        reader=$!
        got[status]=0
        wait "$reader" || got[status]=$?
        got[pasted]="$(stat -c %s "$dir/pasted")"
        got[same]=0
        cmp -s "$dir/copied" "$dir/pasted" && got[same]=1
    else
        # shellcheck disable=SC2086 # the owner's mode and the probe's options are words
        "${on_display[@]}" "$work/bin/wayland-owner" $owner >"$dir/owner.log" 2>&1 &
        held=$!
        wait_line "$dir/owner.log" owning "$held" 10 || { echo "the owner did not take the clipboard"; return 1; }
        # shellcheck disable=SC2086
        "${on_display[@]}" timeout -k 5 150 "$work/bin/pasteboard-probe" --read-once $options \
            >"$dir/probe.out" 2>"$dir/probe.err" &
        reader=$!
        got[status]=0
        wait "$reader" || got[status]=$?
        local line
        line="$(grep '^active=' "$dir/probe.out" || true)"
        [ -n "$line" ] || { echo "the probe said nothing"; tail -n 5 "$dir/probe.err"; return 1; }
        for pair in ${line%% head=*}; do got[${pair%%=*}]="${pair#*=}"; done
        # The owner's figures, its lines' times counted from its first request.
        eval "$(awk '{ sub("ms=", "", $3) }
                     $1 == "asked" && asked == "" { asked = $3 }
                     $1 == "wrote" { if (last != "" && $3 - last > gap) gap = $3 - last; last = $3; written = $2 }
                     $1 == "gone" && gone == "" { gone = $3 - asked }
                     END { printf "got[gap]=%d got[written]=%d got[gone]=%s\n", gap, written, gone == "" ? "none" : gone }' \
                    "$dir/owner.log")"
        got[unread]=$((got[written] - got[came]))
        [ "${got[gone]}" = none ] || got[goneAfterEnd]=$((got[gone] - got[ms]))
    fi
    local failed=""
    for check in status=0 $checks; do
        local key="${check%%[<>=]*}" rest="${check#*[<>=]}" op wanted
        op="${check:${#key}:2}"
        [ "$op" = "<=" ] || [ "$op" = ">=" ] || op="="
        [ "$op" = "=" ] || rest="${rest#=}"
        wanted="${got[$rest]:-$rest}"
        local value="${got[$key]:-none}"
        if [[ ! $value =~ ^-?[0-9]+$ ]] || [[ ! $wanted =~ ^-?[0-9]+$ ]] ||
            { [ "$op" = "=" ] && [ "$value" -ne "$wanted" ]; } ||
            { [ "$op" = "<=" ] && [ "$value" -gt "$wanted" ]; } ||
            { [ "$op" = ">=" ] && [ "$value" -lt "$wanted" ]; }; then
            failed+=" $key=$value (wanted $op $wanted)"
        fi
    done
    local figures=""
    for key in how bytes came after ms peakMiB png written unread gap goneAfterEnd pasted same status; do
        [ -z "${got[$key]:-}" ] || figures+=" $key=${got[$key]}"
    done
    if [ -n "$failed" ]; then
        echo "FAILED:$failed; got$figures"
        for log in probe.err wl-paste.err; do [ ! -s "$dir/$log" ] || tail -n 5 "$dir/$log"; done
        [ ! -s "$dir/owner.log" ] || tail -n 3 "$dir/owner.log"
        return 1
    fi
    echo "ok:$figures"
}

start=$SECONDS
for at in "${!rows[@]}"; do
    IFS='|' read -r _ owner options checks <<<"${rows[$at]}"
    mkdir "$work/$at"
    row "$work/$at" "$owner" "$options" "$checks" >"$work/$at/result" 2>&1 &
    runs+=("$!")
done
status=0
passed=0
for at in "${!rows[@]}"; do
    if wait "${runs[$at]}"; then passed=$((passed + 1)); else status=1; fi
    echo "wayland_smoke: ${rows[$at]%%|*}: $(head -n 1 "$work/$at/result")"
    tail -n +2 "$work/$at/result" | sed 's/^/    /'
done
runs=()
echo "wayland_smoke: $passed of ${#rows[@]} rows as they should be, in $((SECONDS - start)) s"
exit "$status"
