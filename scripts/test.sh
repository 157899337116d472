#!/usr/bin/env bash
# Installs the dependencies, then builds and runs every test twice: a release
# build and an AddressSanitizer + UndefinedBehaviorSanitizer build; then the engine's
# tests once more with the parser walking its table alone, and a short run of each fuzzer.
# Each stage builds only what it runs: the release build leaves the benchmarks out, the
# table-alone run uses the release build's test programs, the fuzz build only its fuzzers.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs="$(nproc)"
# handle_abort: an abort (a failed check, std::terminate, a driver giving up) prints its stack.
# intercept_tls_get_addr=0: the runtime's record of the GL driver's dynamic TLS blocks can hold a
# bogus range (seen as "DTLS 15 at 0x121f-0x1800002321" in a GPU test run from some folders), and
# the leak checker's tracer then faults scanning it at exit, aborting a test that passed. Our own
# thread-local data is static TLS, which is still scanned.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:handle_abort=1:intercept_tls_get_addr=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
# A test that fails is run once more: on a loaded machine a timing slip or a sanitizer hiccup in
# a driver thread should not fail the run, but every such test is named again at the very end,
# with the start of what it printed, so that it gets looked at. A test that fails twice fails the
# run, after every stage has run; its report is the last thing printed, where a log's tail keeps it.
retried=""
failed=""
status=0
# The lines of a test's report that tell why: sanitizer reports and frames, failed expectations.
why='ERROR|SUMMARY|Sanitizer|Tracer|Failure|Expected|Which is|Value of|Actual|abort|terminate|what\(\)|Assertion|#[0-9]+ 0x|FAILED|Timeout'
for kind in release asan; do
  echo "== $kind build =="
  build_args=()
  # Nothing here runs the benchmarks.
  [ "$kind" = release ] && build_args=(-DQUILTDECK_BENCH=OFF)
  scripts/build.sh "$kind" "${build_args[@]}"
  echo "== $kind tests =="
  log="build/$kind/ctest-run.log"
  if ! ctest --test-dir "build/$kind" --output-on-failure -j "$jobs" --timeout 300 --repeat until-pass:2 2>&1 |
       tee "$log"; then
    status=1
  fi
  # Lines of tests that did not pass the first time (test names may hold words like "Timeout").
  first="$(grep -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: ' "$log" | grep -vE ' Passed +[0-9.]+ sec$' || true)"
  if [ -n "$first" ]; then
    output="$(awk '/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: / && !/ Passed +[0-9.]+ sec$/ {n = 41} n-- > 0' "$log" |
              head -n 200 | cut -c1-200 || true)"
    retried+="$kind:"$'\n'"$output"$'\n'
  fi
  # Tests that failed both times: ctest lists them after "The following tests FAILED".
  names="$(sed -n '/^The following tests FAILED:/,$p' "$log" | grep -E '^[[:space:]]+[0-9]+ - ' |
           sed -E 's/^[[:space:]]+[0-9]+ - ([^ ]+).*/\1/' || true)"
  for name in $names; do
    report="$(awk -v name="$name" '
        $0 ~ "^ *([0-9]+/[0-9]+ )?Test +#[0-9]+: " { inside = (index($0, " " name " ") > 0 && $0 !~ / Passed +[0-9.]+ sec$/) }
        inside' "$log" | grep -E "$why" | head -n 24 | cut -c1-240 || true)"
    failed+="$kind $name:"$'\n'"$report"$'\n'
  done
done
echo "== engine tests, every parser one byte at a time through its table =="
VANTEL_PARSER_BYTE_AT_A_TIME=1 build/release/tests/vantel_core_tests --gtest_brief=1 || status=1
VANTEL_PARSER_BYTE_AT_A_TIME=1 build/release/tests/vantel_graphics_tests --gtest_brief=1 || status=1
echo "== fuzz smoke =="
scripts/build.sh fuzz
scripts/fuzz-smoke.sh build/fuzz 10 || status=1
if [ -n "$retried" ]; then
  echo "== tests that passed only when run again =="
  printf '%s\n' "$retried"
fi
if [ -n "$failed" ]; then
  echo "== tests that failed twice, and why =="
  printf '%s\n' "$failed"
fi
exit "$status"
