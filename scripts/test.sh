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
# A test that fails is run once more: on a loaded machine a timing slip or a sanitizer hiccup in
# a driver thread should not fail the run, but every such test is named again at the very end,
# with the start of what it printed, so that it gets looked at.
retried=""
for kind in release asan; do
  echo "== $kind build =="
  scripts/build.sh "$kind"
  echo "== $kind tests =="
  log="build/$kind/ctest-run.log"
  ctest --test-dir "build/$kind" --output-on-failure -j "$jobs" --timeout 300 --repeat until-pass:2 2>&1 | tee "$log"
  # Lines of tests that did not pass the first time (test names may hold words like "Timeout").
  first="$(grep -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: ' "$log" | grep -vE ' Passed +[0-9.]+ sec$' || true)"
  if [ -n "$first" ]; then
    output="$(awk '/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: / && !/ Passed +[0-9.]+ sec$/ {n = 41} n-- > 0' "$log" |
              head -n 200 | cut -c1-200 || true)"
    retried+="$kind:"$'\n'"$output"$'\n'
  fi
done
echo "== engine tests, every parser one byte at a time through its table =="
scripts/build.sh bytewise
build/bytewise/tests/vantel_core_tests --gtest_brief=1
build/bytewise/tests/vantel_graphics_tests --gtest_brief=1
echo "== fuzz smoke =="
scripts/build.sh fuzz
scripts/fuzz-smoke.sh build/fuzz 10
if [ -n "$retried" ]; then
  echo "== tests that passed only when run again =="
  printf '%s\n' "$retried"
fi

