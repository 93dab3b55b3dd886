#!/usr/bin/env bash
# Reading a 1,000-rider workbook: Tavrin's reader (programme_bench) against python3-openpyxl
# loading the same file, in the same run. Targets: at most 20 ms, and at least 10 times faster.
set -euo pipefail
cd "$(dirname "$0")/.."
bench=build/release/bin/programme_bench
[ -x "$bench" ] || { echo "compare-xlsx: build the release first (make build)"; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
tools/fixtures/make-bench-inputs.sh "$dir" >/dev/null

ours=$(TAVRIN_BENCH_INPUTS="$dir" "$bench" --benchmark_filter=Workbook --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true --benchmark_format=json |
  /usr/bin/python3 -c 'import json,sys; r=[b for b in json.load(sys.stdin)["benchmarks"] if b.get("aggregate_name")=="median"][0]; print(r["real_time"])')
theirs=$(/usr/bin/python3 - "$dir/bench-1000.xlsx" <<'PY'
import statistics, sys, time
import openpyxl
path = sys.argv[1]
openpyxl.load_workbook(path)
times = []
for _ in range(5):
    start = time.perf_counter()
    openpyxl.load_workbook(path)
    times.append((time.perf_counter() - start) * 1000)
print(statistics.median(times))
PY
)
/usr/bin/python3 - "$ours" "$theirs" <<'PY'
import sys
ours, theirs = float(sys.argv[1]), float(sys.argv[2])
ratio = theirs / ours
print(f"workbook, 1,000 riders: Tavrin {ours:.2f} ms, openpyxl load_workbook {theirs:.1f} ms, {ratio:.1f}x faster")
ok = ours <= 20 and ratio >= 10
print("targets (<= 20 ms, >= 10x): " + ("met" if ok else "MISSED"))
sys.exit(0 if ok else 1)
PY
