#!/usr/bin/env bash
# Makes fake-session.jsonl again: the fake assistant in a throw-away HOME,
# driven by fake-session.script.jsonl through quiltdeck-record. The
# expectations at its end are the statuses the script leads to.
#   tests/data/sessions/record-fake.sh build/release
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-build/release}" && pwd)"
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
cd "$root/project"
HOME="$root/home" SHELL=/bin/bash "$build/tests/quiltdeck_record" --script "$here/fake-session.script.jsonl" \
  "$here/fake-session.jsonl"
cat "$here/fake-session.expect.jsonl" >> "$here/fake-session.jsonl"
rm -rf "$root"
