#!/usr/bin/env bash
# A show that grows: CLASSES classes of PHOTOS photos organised one after the other, then one
# more, with this build's tavrin-cli beside the previous one (BASELINE_BIN, by default the main
# worktree's build of the same kind, copied aside first so that a rebuild there cannot change it
# mid-run). After 1, 3 and 5 classes: `workspace set` (a click on the class to come), `plan` of
# the class to come, and a re-run of the last class organised (every photo already there), each
# the median of RUNS whole processes. Targets: set ≤ 40 ms and plan ≤ 200 ms whatever the
# number of classes before; a re-run ≤ 0.4 s.
#   PHOTOS=10000 CLASSES=5 RUNS=7 BUILD_DIR=build/debug WORK_DIR=/dev/shm bench/compare-season.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
photos=${PHOTOS:-10000}
classes=${CLASSES:-5}
runs=${RUNS:-7}
rows=${ROWS:-200}
cli="$build/bin/tavrin-cli"
need_built "$cli"
need_tools python3
make_work_dir
# The previous program finds its copied libraries beside bin/ by its RUNPATH.
copy_baseline tavrin-cli

# Empty photos: organising copies them as any other, and what is measured is the bookkeeping.
for c in $(seq 1 $((classes + 1))); do
  mkdir -p "$work/source/$c"
  (cd "$work/source/$c" && seq -f "DSC_%05g.JPG" 1 "$photos" | xargs touch)
done

echo "== a show of $classes classes of $photos photos, then one more ($rows rows a class), on $(df --output=fstype "$work" | tail -1)"
/usr/bin/python3 - "$work" "$cli" "$work/baseline/bin/tavrin-cli" "$root" "$photos" "$classes" "$runs" "$rows" <<'PY'
import json, os, statistics, subprocess, sys, time, uuid
work, ours, theirs, root = sys.argv[1:5]
photos, classes, runs, rows = (int(a) for a in sys.argv[5:9])
event = "Samedi|Epreuve 10 - Vitesse (1,10 m)"
checkpoints = [k for k in (1, 3, 5) if k <= classes]

def title(c): return f"Classe {c}"

def setup(name, cli):
    data, dest = f"{work}/{name}/data", f"{work}/{name}/dest"
    os.makedirs(data); os.makedirs(dest)
    t, day = "2026-06-14T10:00:00.000Z", str(uuid.uuid4()).upper()
    step = max(1, photos // rows)
    sheets = [{"id": str(uuid.uuid4()).upper(), "dayID": day, "title": title(c), "createdAt": t, "updatedAt": t, "isOpen": True,
               "rows": [{"id": str(uuid.uuid4()).upper(), "photoNumber": str(1 + r * step), "assignedNumber": str(101 + r)}
                        for r in range(rows)]} for c in range(1, classes + 2)]
    json.dump({"version": 1, "updatedAt": t, "days": [{"id": day, "name": "Samedi", "createdAt": t, "sortIndex": 0}],
               "spreadsheets": sheets}, open(f"{data}/library-in.json", "w"))
    call(cli, data, "library", "merge", f"{data}/library-in.json")
    call(cli, data, "workspace", "import-programme", f"{root}/tests/fixtures/programme/weekend.xlsx")
    for c in range(1, classes + 2):
        call(cli, data, "workspace", "set", "--spreadsheet", title(c), "--source", f"{work}/source/{c}", "--dest", dest,
             "--day", "Samedi", "--event", event)
    return data

def call(cli, data, *args):
    return subprocess.run([cli, "--data-dir", data, *args], check=True, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout

# Wall time, and the processor time of the process (user + system): on a machine shared with
# other work the second is the steadier measure.
def measured(cli, data, *args):
    t0 = time.perf_counter()
    p = subprocess.Popen([cli, "--data-dir", data, *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(p.pid, 0)
    wall = time.perf_counter() - t0
    p.returncode = os.waitstatus_to_exitcode(status)
    if p.returncode != 0: sys.exit(f"compare-season: {' '.join(args)} failed ({p.returncode})")
    return wall, usage.ru_utime + usage.ru_stime

def timed(cli, data, *args): return measured(cli, data, *args)[0]

def median(cli, data, make_args):
    both = [measured(cli, data, *make_args(i)) for i in range(runs)]
    return statistics.median(w for w, _ in both) * 1000, statistics.median(c for _, c in both) * 1000

programs = {"this build": ours, "previous": theirs}
datas = {name: setup(name.replace(" ", "-"), cli) for name, cli in programs.items()}
nxt = title(classes + 1)
figures = {name: {} for name in programs}
for c in range(1, classes + 1):
    for name, cli in programs.items():
        data = datas[name]
        first = timed(cli, data, "organize", "--spreadsheet", title(c)) * 1000
        f = figures[name].setdefault(c, {"organise": first})
        if c in checkpoints:
            # A click that changes the settings each time (the done mark back and forth).
            f["set"] = median(cli, data, lambda i: ("workspace", "set", "--spreadsheet", nxt, "--done", "true" if i % 2 == 0 else "false"))
            f["plan"] = median(cli, data, lambda i: ("plan", "--spreadsheet", nxt))
            f["rerun"] = median(cli, data, lambda i: ("organize", "--spreadsheet", title(c)))
            f["file"] = os.path.getsize(f"{data}/workspace.json") / 1e6
for name, cli in programs.items():
    figures[name]["one more"] = timed(cli, datas[name], "organize", "--spreadsheet", nxt) * 1000

print(f"median of {runs} whole processes, wall ms (processor ms); workspace.json in MB; this build | previous")
print(f"{'classes':>7} {'set':>31} {'plan':>31} {'re-run':>31} {'json MB':>13}")
ok = True
cell = lambda a, b: f"{a[0]:>6.1f} ({a[1]:>6.1f}) | {b[0]:>6.1f} ({b[1]:>6.1f})"
for c in checkpoints:
    a, b = figures["this build"][c], figures["previous"][c]
    print(f"{c:>7} {cell(a['set'], b['set'])} {cell(a['plan'], b['plan'])} {cell(a['rerun'], b['rerun'])}"
          f" {a['file']:>5.2f} | {b['file']:>5.2f}")
    ok = ok and a["set"][0] <= 40 and a["plan"][0] <= 200 and a["rerun"][0] <= 400
print("first organisation of each class, wall ms: " + ", ".join(
    f"{figures['this build'][c]['organise']:.0f} | {figures['previous'][c]['organise']:.0f}" for c in range(1, classes + 1)))
print(f"one more class organised after {classes}: {figures['this build']['one more']:.1f} | {figures['previous']['one more']:.1f} ms")
print("targets (set ≤ 40 ms, plan ≤ 200 ms, re-run ≤ 400 ms): " + ("met" if ok else "MISSED"))
sys.exit(0 if ok else 1)
PY
