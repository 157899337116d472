#!/usr/bin/env bash
# Configures and builds one build type: release (default, with the tests and the benchmarks),
# program (the release build's program and its resources alone, as scripts/run.sh needs), asan,
# fuzz (its fuzzers only) or bytewise (every parser walks its input one byte at a time through its
# table, to test the table alone; scripts/test.sh gets the same from the release build's test
# programs).
#   scripts/build.sh [release|program|asan|fuzz|bytewise] [extra cmake args...]
set -euo pipefail
cd "$(dirname "$0")/.."
kind="${1:-release}"; shift || true
launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
dir="$kind"
case "$kind" in
  release) args=(-DCMAKE_BUILD_TYPE=Release -DQUILTDECK_BENCH=ON) ;;
  # The same folder as release, so that a later release build reuses what this one compiled.
  program) args=(-DCMAKE_BUILD_TYPE=Release); dir=release ;;
  asan)    args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILTDECK_SANITIZE=ON -DQUILTDECK_BENCH=OFF) ;;
  bytewise) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTEL_PARSER_BYTE_AT_A_TIME=ON -DQUILTDECK_BENCH=OFF) ;;
  fuzz)    args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILTDECK_FUZZ=ON -DQUILTDECK_BENCH=OFF
                 -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "unknown build kind: $kind" >&2; exit 2 ;;
esac
cmake -S . -B "build/$dir" -G Ninja "${launcher[@]}" "${args[@]}" "$@"
targets=()
# The bytewise build is for the engine's own tests only, the fuzz build for its fuzzers.
[ "$kind" = bytewise ] && targets=(--target vantel_core_tests vantel_graphics_tests)
[ "$kind" = fuzz ] && targets=(--target fuzzers)
[ "$kind" = program ] && targets=(--target quiltdeck_app quiltdeck_resources)
cmake --build "build/$dir" "${targets[@]}"
