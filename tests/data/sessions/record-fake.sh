#!/usr/bin/env bash
# Makes a recording of the fake assistant again: the fake in a throw-away
# HOME, driven by NAME.script.jsonl through quiltdeck-record on a terminal of
# SIZE (120x38 unless given), written to NAME.jsonl. The expectations at its
# end (NAME.expect.jsonl) are the statuses the script leads to. Settings of
# the fake (NAME=value) after the size are exported beside the usual ones.
#   tests/data/sessions/record-fake.sh build/release                    # fake-session
#   tests/data/sessions/record-fake.sh build/release fake-small 50x7
#   tests/data/sessions/record-fake.sh build/release fake-small-tool-interrupt 50x7 \
#     FAKE_CLAUDE_TURN=1 FAKE_CLAUDE_TOOL_RUN=20 FAKE_CLAUDE_TOOL_INPUT='{"command":"sleep 20"}'
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-build/release}" && pwd)"
name="${2:-fake-session}"
size="${3:-120x38}"
shift $(( $# < 3 ? $# : 3 ))
root=/tmp/quiltdeck-replay
rm -rf "$root" && mkdir -p "$root/home/.local/bin" "$root/project"
cp "$build/tests/fake_claude" "$root/home/.local/bin/claude"
cat > "$root/home/.profile" <<'PROFILE'
PATH="$HOME/.local/bin:$PATH"; export PATH
export FAKE_CLAUDE_SESSION_ID='5f0c4a8e-1b7d-4c3e-9a2f-6d8e0b1c2a3f'
export FAKE_CLAUDE_TURN='1.5'
export FAKE_CLAUDE_PERMISSION_NOTIFY='2'
export FAKE_CLAUDE_IDLE_NOTIFY='3'
PROFILE
for setting in "$@"; do
    printf "export %s='%s'\n" "${setting%%=*}" "${setting#*=}" >>"$root/home/.profile"
done
cd "$root/project"
HOME="$root/home" SHELL=/bin/bash "$build/tests/quiltdeck_record" --size "$size" \
  --script "$here/$name.script.jsonl" "$here/$name.jsonl"
cat "$here/$name.expect.jsonl" >> "$here/$name.jsonl"
rm -rf "$root"
