#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a few seconds each, starting
# from its seed corpus in fuzz/corpus/<target>/ when there is one (the seeds
# are read, never written: new inputs go to a scratch folder).
#   scripts/fuzz-smoke.sh <build-dir> [seconds]
set -euo pipefail
dir="$1"; seconds="${2:-10}"
seeds_root="$(cd "$(dirname "$0")/.." && pwd)/fuzz/corpus"
shopt -s nullglob
found=0
for target in "$dir"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  found=1
  name="$(basename "$target")"
  scratch="$(mktemp -d)"
  corpora=("$scratch")
  [ -d "$seeds_root/$name" ] && corpora+=("$seeds_root/$name")
  echo "-- $name for ${seconds}s (${#corpora[@]} corpus folders)"
  status=0
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=60 -print_final_stats=0 "${corpora[@]}" \
    >/dev/null 2>"$dir/$name.log" || status=$?
  rm -rf "$scratch"
  if [ "$status" -ne 0 ]; then cat "$dir/$name.log"; exit 1; fi
done
[ "$found" -eq 1 ] || echo "no fuzz targets yet"
