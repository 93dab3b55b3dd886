#!/usr/bin/env bash
# A phone's 100 spreadsheets taken in by a desktop holding 100 and 2,000 (BM_SyncPhoneIntoSeason):
# this build's sync_bench beside a baseline one (BASELINE_BIN, by default the main worktree's build
# of the same kind, copied aside with its libraries so that a rebuild there cannot change it
# mid-run), in turns, ROUNDS times. Target: with 2,000 spreadsheets on the desktop, wall and main
# thread no slower than the baseline with 100. The target speaks of a baseline built before the
# merge at the phone's own cost (BASELINE_BIN=…/bin of such a build); against the same code, as by
# default, the run shows what 2,000 spreadsheets cost over 100 today.
#   BUILD_DIR=build/debug ROUNDS=2 bench/compare-sync.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
rounds=${ROUNDS:-2}
ours="$build/bin/sync_bench"
need_built "$ours"
need_tools python3
make_work_dir
# In a build tree the benchmark names its libraries' folder by its absolute path: the copies are
# put first through the loader's path.
copy_baseline sync_bench

for round in $(seq 1 "$rounds"); do
  for who in baseline ours; do
    if [ "$who" = ours ]; then program=$ours; libs=""; else program=$work/baseline/bin/sync_bench; libs=$baseline_libs; fi
    LD_LIBRARY_PATH=$libs "$program" --benchmark_filter='BM_SyncPhoneIntoSeason' --benchmark_format=json \
      --benchmark_out="$work/$who-$round.json" >/dev/null 2>"$work/$who-$round.log" \
      || { echo "$name: $who's sync_bench failed"; cat "$work/$who-$round.log"; exit 1; }
  done
done

/usr/bin/python3 - "$work" "$rounds" <<'PY'
import json, sys
work, rounds = sys.argv[1], int(sys.argv[2])
def cases(who, r):
    found = {}
    for b in json.load(open(f"{work}/{who}-{r}.json"))["benchmarks"]:
        parts = b["name"].split("/")
        found[(int(parts[1]), int(parts[2]))] = b
    return found
print(f"{'':10} {'desktop':>8} {'typed in':>9} {'wall ms':>8} {'main ms':>8} {'fold ms':>8} {'writes':>7}")
times = {}
for r in range(1, rounds + 1):
    for who in ("baseline", "ours"):
        found = cases(who, r)
        if not found:
            sys.exit(f"{who} has no BM_SyncPhoneIntoSeason: build its sync_bench from a tree that has it")
        for (sheets, typed), b in sorted(found.items(), key=lambda kv: (-kv[0][1], kv[0][0])):
            print(f"{who:10} {sheets:>8} {typed:>9} {b['real_time']:8.1f} {b['cpu_time']:8.1f}"
                  f" {b['fold_process_ms']:8.1f} {int(b['writes']):7}")
            times.setdefault((who, sheets, typed), []).append((b["real_time"], b["cpu_time"]))
# Strict: our slowest round with 2,000 against the baseline's fastest with 100.
for typed in sorted({k[2] for k in times if k[0] == "ours"}, reverse=True):
    base, ours = times.get(("baseline", 100, typed)), times.get(("ours", 2000, typed))
    if not base or not ours:
        continue
    target = (min(t[0] for t in base), min(t[1] for t in base))
    slowest = (max(t[0] for t in ours), max(t[1] for t in ours))
    verdict = "holds" if slowest[0] <= target[0] and slowest[1] <= target[1] else "DOES NOT HOLD"
    print(f"a cell typed in {typed} spreadsheet(s): 2,000 on the desktop {slowest[0]:.1f} ms wall, {slowest[1]:.1f} ms main"
          f" thread (slowest round); baseline with 100 {target[0]:.1f} ms, {target[1]:.1f} ms (fastest round): {verdict}")
PY
