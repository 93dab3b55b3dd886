#!/usr/bin/env bash
# Runs every benchmark program, then every comparison script, and keeps their output in
# bench/results/ (not committed). Figures are read by people, never asserted.
set -uo pipefail
cd "$(dirname "$0")/.."
mkdir -p bench/results
status=0
for b in build/release/bin/*_bench; do
  [ -x "$b" ] || continue
  name=$(basename "$b")
  echo "== $name"
  "$b" --benchmark_out="bench/results/$name.json" --benchmark_out_format=json | tee "bench/results/$name.txt" || status=1
done
for s in bench/compare-*.sh; do
  [ -x "$s" ] || continue
  echo "== $(basename "$s")"
  "$s" | tee "bench/results/$(basename "$s" .sh).txt" || status=1
done
exit $status
