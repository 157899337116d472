#!/usr/bin/env bash
# Builds the program and its resources (release; no tests, no benchmarks, as scripts/run.sh) and
# installs Quiltdeck for this user: ~/.local/bin/quiltdeck, its resources in ~/.local/share/quiltdeck,
# the desktop entry and the icons, so the desktop's launcher finds it.
#   scripts/install.sh [prefix]        (default: ~/.local)
set -euo pipefail
cd "$(dirname "$0")/.."
prefix="${1:-$HOME/.local}"
scripts/install-deps.sh
scripts/build.sh program >/dev/null
cmake --install build/release --prefix "$prefix"
# Let the launcher and the icon theme see the new files, where the desktop has the tools.
if command -v update-desktop-database >/dev/null 2>&1; then
  update-desktop-database -q "$prefix/share/applications" || true
fi
if command -v gtk-update-icon-cache >/dev/null 2>&1 && [ -f "$prefix/share/icons/hicolor/index.theme" ]; then
  gtk-update-icon-cache -q -t "$prefix/share/icons/hicolor" || true
fi
echo "Quiltdeck installed in $prefix (run: $prefix/bin/quiltdeck)"
