#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) and runs each
# for a bounded time from its seed corpus. Any finding fails the run; the
# input that found it belongs in fuzz/corpus/TARGET/ as a regression test.
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

CC=clang CXX=clang++ scripts/build.sh build-fuzz -DZELMO_FUZZ=ON -DZELMO_SANITIZE=ON \
  -DZELMO_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in hex_reader update; do
  mkdir -p "$work/$target"
  echo "-- $target: $seconds s"
  # Findings are written to the work folder and shown; -timeout catches hangs.
  if ! build-fuzz/fuzz/${target}_fuzz -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
      -artifact_prefix="$work/" "$work/$target" "fuzz/corpus/$target" >"$work/$target.log" 2>&1; then
    tail -n 40 "$work/$target.log"
    for finding in "$work"/crash-* "$work"/timeout-* "$work"/leak-* "$work"/oom-*; do
      [ -e "$finding" ] && { echo "finding: $finding"; od -A x -t x1z "$finding" | head -n 20; }
    done
    exit 1
  fi
  grep -E '^stat::(number_of_executed_units|new_units_added)|^Done' "$work/$target.log"
  echo "corpus: $(ls "$work/$target" | wc -l) new inputs"
done
