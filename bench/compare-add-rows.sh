#!/usr/bin/env bash
# `tavrin-cli library add-rows` of one row, whole process, on libraries of SHEETS spreadsheets
# (one run per size given) of ROWS rows with the window's selection on disk, against BASE_CLI (a
# tavrin-cli built from an earlier commit) as baseline in the same run. Also checks that the
# selection file was left alone by this build (same inode, same time), and that library.json
# holds every row added within a second of the last command (the journal folded in).
#   BASE_CLI=/path/to/old/tavrin-cli SHEETS="10 100 1000 4000" ROWS=25 bench/compare-add-rows.sh
# (BASE_CLI: the main worktree's tavrin-cli when not given.)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cli="$build/bin/tavrin-cli"
# By default the main worktree's build of the same kind: then the two sides agree, and what the
# run shows is the cost at each library size.
main_tree=$(git worktree list --porcelain | awk '/^worktree /{print $2; exit}')
base=${BASE_CLI:-$main_tree/${BUILD_DIR:-build/release}/bin/tavrin-cli}
rows=${ROWS:-25}
need_built "$cli"
need_built "$base"
need_tools hyperfine
make_work_dir
status=0
for sheets in ${SHEETS:-100}; do
rm -rf "${work:?}"/*

python3 - "$work/library-in.json" "$sheets" "$rows" <<'PY'
import json, sys, uuid
path, sheets, rows = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
day, t = str(uuid.uuid4()).upper(), "2026-06-14T10:00:00.000Z"
json.dump({"version": 1, "updatedAt": t, "days": [{"id": day, "name": "Samedi", "createdAt": t, "sortIndex": 0}],
           "spreadsheets": [{"id": "9E5D1D1C-0000-4000-8000-%012d" % s, "dayID": day, "title": "Épreuve %d" % s,
                             "createdAt": t, "updatedAt": t, "isOpen": True,
                             "rows": [{"id": str(uuid.uuid4()).upper(), "photoNumber": str(1 + r), "assignedNumber": str(101 + r)}
                                      for r in range(rows)]} for s in range(sheets)]}, open(path, "w"))
PY
day=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["days"][0]["id"])' "$work/library-in.json")
for who in base new; do
  mkdir -p "$work/$who"
  "$cli" --data-dir "$work/$who" library merge "$work/library-in.json" >/dev/null
  printf '{"selectedDayID":"%s"}' "$day" > "$work/$who/ui-state.json"
  printf '1\t2\n' > "$work/$who/row.txt"
done
sheet=9E5D1D1C-0000-4000-8000-000000000000
version() { python3 -c 'import os,sys; s=os.stat(sys.argv[1]); print(s.st_ino, s.st_mtime_ns)' "$work/new/ui-state.json"; }
before=$(version)

run() { hyperfine -N --style none --warmup 3 --runs "${RUNS:-30}" --export-json "$work/$1.json" -n "$1" "$2" >/dev/null 2>&1; }
run base "$base --data-dir $work/base library add-rows --spreadsheet $sheet $work/base/row.txt"
run new "$cli --data-dir $work/new library add-rows --spreadsheet $sheet $work/new/row.txt"
after=$(version)
# The file current again: the journal folded in by the process the last command started.
folded=$(python3 - "$work/new" <<'PY'
import os, sys, time
start = time.monotonic()
while os.path.exists(sys.argv[1] + "/library.journal") and time.monotonic() - start < 10: time.sleep(0.01)
print(f"{(time.monotonic() - start) * 1000:.0f}")
PY
)

python3 - "$work" "$sheets" "$rows" "$before" "$after" "$folded" "${RUNS:-30}" "$sheet" <<'PY' || status=1
import json, sys
d, sheets, rows, before, after, folded, runs, sheet = sys.argv[1:9]
r = {n: json.load(open(f"{d}/{n}.json"))["results"][0] for n in ("base", "new")}
t = {n: v["median"] * 1000 for n, v in r.items()}
cpu = {n: (v["user"] + v["system"]) * 1000 for n, v in r.items()}
print(f"library add-rows of one row, {sheets} spreadsheets × {rows} rows, median wall time (processor time):")
print(f"  this build {t['new']:.1f} ms ({cpu['new']:.1f} ms), baseline {t['base']:.1f} ms ({cpu['base']:.1f} ms), "
      f"ratio {t['new'] / t['base']:.2f}")
print("selection file left alone: " + ("yes" if before == after else "NO"))
lib = json.load(open(f"{d}/new/library.json"))
got = sum(1 for s in lib["spreadsheets"] if s["id"] == sheet for r in s["rows"] if r["photoNumber"])
want = int(rows) + int(runs) + 3
print(f"library.json current {folded} ms after the last command: {got} rows, {want} expected")
sys.exit(0 if before == after and got == want else 1)
PY
done
exit $status
