#!/usr/bin/env bash
# Reading a 1,000-rider workbook: Tavrin's reader (programme_bench) against python3-openpyxl
# loading the same file, in the same run. Targets: at most 20 ms, and at least 10 times faster.
# The two are measured in alternation, five rounds, and the fastest time of each is compared:
# on a shared machine the slower runs measure the neighbours.
set -euo pipefail
source "$(dirname "$0")/common.sh"
bench="$build/bin/programme_bench"
need_built "$bench"
make_work_dir
tools/fixtures/make-bench-inputs.sh "$work" >/dev/null

ours=()
theirs=()
for round in 1 2 3 4 5; do
  ours+=("$(TAVRIN_BENCH_INPUTS="$work" "$bench" --benchmark_filter=Workbook --benchmark_min_time=0.02 \
    --benchmark_repetitions=10 --benchmark_format=json |
    /usr/bin/python3 -c 'import json,sys; print(min(b["real_time"] for b in json.load(sys.stdin)["benchmarks"] if b["run_type"]=="iteration"))')")
  theirs+=("$(/usr/bin/python3 - "$work/bench-1000.xlsx" <<'PY'
import sys, time
import openpyxl
path = sys.argv[1]
openpyxl.load_workbook(path)
times = []
for _ in range(5):
    start = time.perf_counter()
    openpyxl.load_workbook(path)
    times.append((time.perf_counter() - start) * 1000)
print(min(times))
PY
)")
done
/usr/bin/python3 - "${ours[*]}" "${theirs[*]}" <<'PY'
import sys
ours = min(float(x) for x in sys.argv[1].split())
theirs = min(float(x) for x in sys.argv[2].split())
ratio = theirs / ours
print(f"workbook, 1,000 riders, fastest of 5 rounds: Tavrin {ours:.2f} ms, openpyxl load_workbook {theirs:.1f} ms, {ratio:.1f}x faster")
ok = ours <= 20 and ratio >= 10
print("targets (<= 20 ms, >= 10x): " + ("met" if ok else "MISSED"))
sys.exit(0 if ok else 1)
PY
