#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a few seconds each.
#   scripts/fuzz-smoke.sh <build-dir> [seconds]
set -euo pipefail
dir="$1"; seconds="${2:-10}"
shopt -s nullglob
found=0
for target in "$dir"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  found=1
  echo "-- $(basename "$target") for ${seconds}s"
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=0 >/dev/null 2>"$dir/$(basename "$target").log" \
    || { cat "$dir/$(basename "$target").log"; exit 1; }
done
[ "$found" -eq 1 ] || echo "no fuzz targets yet"
