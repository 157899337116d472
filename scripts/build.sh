#!/usr/bin/env bash
# Configures and builds one build type: release (default), asan or fuzz.
#   scripts/build.sh [release|asan|fuzz] [extra cmake args...]
set -euo pipefail
cd "$(dirname "$0")/.."
kind="${1:-release}"; shift || true
launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
case "$kind" in
  release) args=(-DCMAKE_BUILD_TYPE=Release) ;;
  asan)    args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILTDECK_SANITIZE=ON -DQUILTDECK_BENCH=OFF) ;;
  fuzz)    args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILTDECK_FUZZ=ON -DQUILTDECK_BENCH=OFF
                 -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "unknown build kind: $kind" >&2; exit 2 ;;
esac
cmake -S . -B "build/$kind" -G Ninja "${launcher[@]}" "${args[@]}" "$@"
cmake --build "build/$kind"
