#!/usr/bin/env bash
# Installs the dependencies, builds (release) and runs a program behind the Vantel engine
# on a pseudo-terminal, then prints the screen it leaves:
#   scripts/run.sh [vantel-run options] -- program [args...]
# With no arguments it runs a small demonstration.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh release >/dev/null
if [ $# -eq 0 ]; then
  set -- --cols 60 --rows 8 --all -- /bin/bash -c \
    'printf "\e[1;32mVantel\e[0m on a pseudo-terminal: \e[38;2;255;128;0mtrue colour\e[0m, w\xc3\xb6rld, \xe4\xb8\xad\xe6\x96\x87, \xf0\x9f\x98\x80\n"; printf "%s columns, %s rows\n" "$(tput cols)" "$(tput lines)"; ls /'
fi
exec build/release/tools/vantel-run "$@"
