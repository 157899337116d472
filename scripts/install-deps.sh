#!/usr/bin/env bash
# Installs what the build and the tests need (Debian 12). Safe to run again.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache python3
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libicu-dev zlib1g-dev libpng-dev libglib2.0-dev
  libvterm-dev libtsm-dev
  nlohmann-json3-dev
  libcairo2-dev libfreetype-dev libfontconfig-dev libharfbuzz-dev
  libgdk-pixbuf-2.0-dev librsvg2-common webp-pixbuf-loader
  fonts-dejavu-core fonts-noto-color-emoji
  fonts-noto-cjk  # the program's Chinese, Japanese and Korean text: the language pop-up offers 中文
  libepoxy-dev libegl-dev libgl-dev libegl-mesa0 libgl1-mesa-dri  # the GPU path; Mesa's llvmpipe in tests
  curl  # the hook commands post with it (tests run them through the fake assistant)
  libpango1.0-dev  # interface text; the program's own fonts are announced to Pango
  fonts-inter fonts-jetbrains-mono  # the fonts the program carries (copied at build time)
  desktop-file-utils  # the install check validates the desktop entry
  dbus gsettings-desktop-schemas  # desktop-settings tests: a private session bus, the interface schema
  libgtk-3-dev  # the real window: GTK 3 under platform/ui/gtk
  libx11-dev libwayland-dev  # the clipboard asks the X server for its owner; on Wayland it has a data device of its own
  libwebkit2gtk-4.1-dev  # the reader's web view (optional at build time)
  shared-mime-info  # content types of linked files: one that would run when opened is only shown in its folder
  xvfb xdotool x11-utils imagemagick openbox  # the window smoke tests run a real window on Xvfb
  sway wl-clipboard libwayland-bin xkb-data util-linux  # the Wayland clipboard test: headless sway, wl-paste, wayland-scanner, setpriv
  bc  # a calculator with a line editor, behind a wrapper, in the Ctrl+C tests
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "install-deps: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
