#!/usr/bin/env bash
# Installs the dependencies, then builds and runs every test twice: a release
# build and an AddressSanitizer + UndefinedBehaviorSanitizer build; then the engine's
# tests once more with the parser walking its table alone, and a short run of each fuzzer.
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
echo "== engine tests, every parser one byte at a time through its table =="
scripts/build.sh bytewise
build/bytewise/tests/vantel_core_tests --gtest_brief=1
build/bytewise/tests/vantel_graphics_tests --gtest_brief=1
echo "== fuzz smoke =="
scripts/build.sh fuzz
scripts/fuzz-smoke.sh build/fuzz 10
