#!/usr/bin/env bash
# Following a spreadsheet against GNU cp, in the same run. Each round writes a range of PHOTOS
# photos of SIZE_MB MB (complete files) while `tavrin-cli organize --follow` runs, then closes the
# range with a row added by `tavrin-cli library add-rows`; the latency is from just before that
# command starts to the last photo of the range standing whole in its rider folder (so it
# includes add-rows' own start). Beside it, `cp` of the same files (page cache as warm). Target:
# ≤ 2 s. Then the CPU time following costs on an unchanged folder over IDLE seconds, from
# /proc/PID/stat.
#   PHOTOS=10 SIZE_MB=10 ROUNDS=3 IDLE=10 BUILD_DIR=build/release WORK_DIR=/var/tmp bench/compare-follow.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
cli="$build/bin/tavrin-cli"
photos=${PHOTOS:-10}
size_mb=${SIZE_MB:-10}
rounds=${ROUNDS:-3}
idle=${IDLE:-10}
need_built "$cli"
need_tools python3

make_work_dir
follower=""
cleanup() {
  if [ -n "$follower" ]; then kill "$follower" 2>/dev/null || true; wait "$follower" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

data=$work/data source=$work/source dest=$work/dest
mkdir -p "$data" "$source" "$dest"
"$cli" --data-dir "$data" library add-day Samedi >/dev/null
"$cli" --data-dir "$data" library add-spreadsheet --day Samedi "Grand Prix" >/dev/null
"$cli" --data-dir "$data" workspace import-programme "$root/tests/fixtures/programme/weekend.xlsx" >/dev/null
"$cli" --data-dir "$data" workspace set --spreadsheet "Grand Prix" --source "$source" --dest "$dest" \
  --day Samedi --event "Samedi|Epreuve 10 - Vitesse (1,10 m)" >/dev/null
printf '1001\t101\n' | "$cli" --data-dir "$data" library add-rows --spreadsheet "Grand Prix" >/dev/null

"$cli" --data-dir "$data" organize --spreadsheet "Grand Prix" --follow > "$work/report.json" 2> "$work/progress.txt" &
follower=$!
sleep 1

echo "== following against cp: $rounds rounds of $photos photos of $size_mb MB on $(df --output=fstype "$work" | tail -1) ($work)"
python3 - "$cli" "$data" "$source" "$dest" "$work" "$photos" "$size_mb" "$rounds" <<'PY'
import os, subprocess, sys, time
cli, data, source, dest, work = sys.argv[1:6]
photos, size, rounds = int(sys.argv[6]), int(sys.argv[7]) * 1024 * 1024, int(sys.argv[8])
block = bytearray(os.urandom(size))

def whole_copies():
    n = 0
    for folder, _, files in os.walk(dest):
        for name in files:
            if not name.startswith(".") and os.path.getsize(os.path.join(folder, name)) == size:
                n += 1
    return n

ours, theirs = [], []
for r in range(1, rounds + 1):
    first = 1000 * r + 1
    names = []
    for i in range(first, first + photos):
        block[0:16] = i.to_bytes(16, "little")
        name = "DSC_%05d.JPG" % i
        with open(os.path.join(source, name), "wb") as f:
            f.write(block)
        names.append(name)
    time.sleep(1.0)  # the files are complete well before the range closes
    t0 = time.monotonic()
    subprocess.run([cli, "--data-dir", data, "library", "add-rows", "--spreadsheet", "Grand Prix"],
                   input=f"{1000 * (r + 1) + 1}\t{101 + r}\n".encode(), stdout=subprocess.DEVNULL, check=True)
    while whole_copies() < photos * r:
        if time.monotonic() - t0 > 60:
            sys.exit("compare-follow: the range was not copied within 60 s")
        time.sleep(0.005)
    ours.append(time.monotonic() - t0)
    target = os.path.join(work, "cp%d" % r)
    os.makedirs(target)
    t0 = time.monotonic()
    subprocess.run(["cp", "-t", target] + [os.path.join(source, n) for n in names], check=True)
    theirs.append(time.monotonic() - t0)
    print(f"round {r}: following {ours[-1]:.2f} s   cp {theirs[-1]:.2f} s")
print(f"best: following {min(ours):.2f} s · cp {min(theirs):.2f} s   worst following {max(ours):.2f} s   (target ≤ 2 s)")
PY

echo "== idle CPU of following an unchanged folder for $idle s"
ticks() { awk '{print $14 + $15}' "/proc/$follower/stat"; }
hz=$(getconf CLK_TCK)
sleep 3
before=$(ticks)
sleep "$idle"
after=$(ticks)
python3 -c "t = ($after - $before) / $hz; print(f'CPU {t * 1000:.0f} ms over $idle s = {100 * t / $idle:.2f} %')"

kill -TERM "$follower"
wait "$follower"
follower=""
python3 -c "import json; print('report:', json.load(open('$work/report.json'))['headline'])"
