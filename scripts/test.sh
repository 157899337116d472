#!/usr/bin/env bash
# Installs the dependencies, then builds and runs every test twice: a release
# build and an AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs="$(nproc)"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
for kind in release asan; do
  echo "== $kind build =="
  scripts/build.sh "$kind"
  echo "== $kind tests =="
  ctest --test-dir "build/$kind" --output-on-failure -j "$jobs" --timeout 300
done
echo "== fuzz smoke =="
scripts/build.sh fuzz
scripts/fuzz-smoke.sh build/fuzz 10
