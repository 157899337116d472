#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what lands there: the program, its
# resources, the desktop entry (valid, naming the installed program) and the hicolor icons.
#   install_check.sh <build dir>
set -euo pipefail
build="$1"
base="$(mktemp -d /tmp/quiltdeck-install-XXXXXX)"
trap 'rm -rf "$base"' EXIT

fail() { echo "install check: $*" >&2; exit 1; }

# Installs into $prefix and checks it; $exec_line is the Exec line the desktop entry must hold.
check_prefix() {
  cmake --install "$build" --prefix "$prefix" >/dev/null
  [ -x "$prefix/bin/quiltdeck" ] || fail "no bin/quiltdeck"
  for f in LICENSE.txt THIRD-PARTY-LICENSES.txt PRIVACY.md fonts/Inter-Regular.otf fonts/JetBrainsMono-Regular.ttf; do
    [ -s "$prefix/share/quiltdeck/$f" ] || fail "no share/quiltdeck/$f"
  done
  desktop="$prefix/share/applications/org.quiltdeck.Quiltdeck.desktop"
  [ -f "$desktop" ] || fail "no desktop entry"
  desktop-file-validate "$desktop" || fail "desktop entry does not validate"
  desktop-file-validate "$build/share/applications/org.quiltdeck.Quiltdeck.desktop" || fail "build-tree desktop entry does not validate"
  grep -qxF "$exec_line" "$desktop" || fail "Exec does not name the installed program: $(grep '^Exec=' "$desktop")"
  grep -qx "Icon=org.quiltdeck.Quiltdeck" "$desktop" || fail "Icon is not the application id"
  for size in 16 32 64 128 256 512; do
    icon="$prefix/share/icons/hicolor/${size}x${size}/apps/org.quiltdeck.Quiltdeck.png"
    [ -s "$icon" ] || fail "no ${size}x${size} icon"
    # The PNG header's width and height.
    dims="$(od -An -tu1 -j16 -N8 "$icon" | tr -s ' ' | sed 's/^ //')"
    read -r a b c d e f g h <<<"$dims"
    width=$(( (a << 24) | (b << 16) | (c << 8) | d )); height=$(( (e << 24) | (f << 16) | (g << 8) | h ))
    [ "$width" = "$size" ] && [ "$height" = "$size" ] || fail "${size}x${size} icon is ${width}x${height}"
  done
  # The installed program finds its resources relative to itself: a tool mode runs from there.
  env -u DISPLAY "$prefix/bin/quiltdeck" --write-mark-preview "$prefix/preview.png"
  [ -s "$prefix/preview.png" ] || fail "the installed program wrote no preview"
}

prefix="$base/plain" exec_line="Exec=\"$base/plain/bin/quiltdeck\"" check_prefix
# A prefix holding a space, a per cent sign and a dollar: quoted and escaped, it still names
# the program.
prefix="$base/my apps 100% \$HOME" exec_line="Exec=\"$base/my apps 100%% \\\\\$HOME/bin/quiltdeck\"" check_prefix
# scripts/run.sh builds the program and its resources alone: none of their steps may compile a
# test program or a benchmark.
steps="$(ninja -C "$build" -t commands quiltdeck_app quiltdeck_resources)"
[ -n "$steps" ] || fail "ninja lists no steps for the program"
if grep -qE '(^| |/)(tests|bench)/' <<<"$steps"; then
  fail "building the program builds tests or benchmarks: $(grep -E '(^| |/)(tests|bench)/' <<<"$steps" | head -n 3 | cut -c1-200)"
fi
echo "install check: passed"
