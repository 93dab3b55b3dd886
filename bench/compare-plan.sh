#!/usr/bin/env bash
# `tavrin-cli plan` of a spreadsheet of ROWS rows over a folder of PHOTOS files, whole process,
# beside `ls -f` of the same folder (the least any plan must do: read the folder once), and as
# baseline the same command with the libraries of the commands module loaded at start (LD_PRELOAD),
# which is what linking every subsystem into tavrin-cli cost. Target: plan ≤ 60 ms.
#   PHOTOS=20000 ROWS=400 bench/compare-plan.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bin="$root/${BUILD_DIR:-build/release}/bin"
cli="$bin/tavrin-cli"
photos=${PHOTOS:-20000}
rows=${ROWS:-400}
[ -x "$cli" ] || { echo "compare-plan: build $cli first (make build)"; exit 1; }
command -v hyperfine >/dev/null || { echo "compare-plan: hyperfine is missing (scripts/install-deps.sh)"; exit 1; }
work=$(mktemp -d "${WORK_DIR:-/var/tmp}/tavrin-compare-plan.XXXXXX")
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

# Empty photos: the plan reads names, never contents.
mkdir -p "$work/source" "$work/dest" "$work/data"
(cd "$work/source" && seq -f "DSC_%05g.JPG" 1 "$photos" | xargs touch)
python3 - "$work/data/library-in.json" "$photos" "$rows" <<'PY'
import json, sys, uuid
path, count, rows = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
day, sheet, t = str(uuid.uuid4()).upper(), "9E5D1D1C-0000-4000-8000-000000000001", "2026-06-14T10:00:00.000Z"
step = max(1, count // rows)
json.dump({"version": 1, "updatedAt": t, "days": [{"id": day, "name": "Samedi", "createdAt": t, "sortIndex": 0}],
           "spreadsheets": [{"id": sheet, "dayID": day, "title": "Grand Prix", "createdAt": t, "updatedAt": t, "isOpen": True,
                             "rows": [{"id": str(uuid.uuid4()).upper(), "photoNumber": str(1 + r * step), "assignedNumber": str(101 + r)}
                                      for r in range(rows)]}]}, open(path, "w"))
PY
data="$work/data"
"$cli" --data-dir "$data" library merge "$data/library-in.json"
"$cli" --data-dir "$data" workspace import-programme "$root/tests/fixtures/programme/weekend.xlsx" >/dev/null
"$cli" --data-dir "$data" workspace set --spreadsheet "Grand Prix" --source "$work/source" --dest "$work/dest" \
  --day Samedi --event "Samedi|Epreuve 10 - Vitesse (1,10 m)" >/dev/null
groups=$("$cli" --data-dir "$data" plan --spreadsheet "Grand Prix" | python3 -c 'import json,sys; print(len(json.load(sys.stdin)["groups"]))')

# The libraries the commands module adds to the program's own: the old tavrin-cli loaded them all.
heavy=$(comm -13 <(ldd "$cli" | awk '/=>/{print $3}' | sort -u) <(ldd "$bin/tavrin_commands.so" | awk '/=>/{print $3}' | sort -u) | paste -sd:)

run() { hyperfine -N --style none --warmup 3 --runs "${RUNS:-30}" --export-json "$work/$1.json" -n "$1" "$2" >/dev/null 2>&1; }
run ls "ls -f $work/source"
run plan "$cli --data-dir $data plan --spreadsheet 9E5D1D1C-0000-4000-8000-000000000001"
run linked "env LD_PRELOAD=$heavy $cli --data-dir $data plan --spreadsheet 9E5D1D1C-0000-4000-8000-000000000001" >/dev/null

python3 - "$work" "$photos" "$rows" "$groups" <<'PY'
import json, sys
d, photos, rows, groups = sys.argv[1:5]
r = {n: json.load(open(f"{d}/{n}.json"))["results"][0] for n in ("ls", "plan", "linked")}
t = {n: v["median"] * 1000 for n, v in r.items()}
cpu = {n: (v["user"] + v["system"]) * 1000 for n, v in r.items()}
print(f"plan of {photos} files, {rows} rows ({groups} groups), median wall time (processor time):")
print(f"  tavrin-cli plan {t['plan']:.1f} ms ({cpu['plan']:.1f} ms), ls -f {t['ls']:.1f} ms ({cpu['ls']:.1f} ms)")
print(f"  baseline, every subsystem's libraries loaded at start: {t['linked']:.1f} ms ({cpu['linked']:.1f} ms)")
ok = t["plan"] <= 60
print("target (plan ≤ 60 ms): " + ("met" if ok else "MISSED"))
sys.exit(0 if ok else 1)
PY
