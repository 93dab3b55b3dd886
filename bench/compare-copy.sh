#!/usr/bin/env bash
# The organisation run against GNU cp, in the same run: 2,000 photos of 5 MB are copied into 400
# rider folders by `tavrin-cli organize`, and the same files into the same layout by `cp` (one
# cp per folder), each from a cold page cache. Our run ends with one syncfs, so cp is timed
# alone and followed by `sync -f` (same durability). Target: ratio ≤ 1.05.
# Then, on a btrfs image made here (root only: loop mount), the bytes the run writes to the
# device, which reflinks keep near zero, beside cp --reflink=auto. Last, the peak memory of runs
# of other counts and sizes, which must not grow with them.
#   PHOTOS=2000 SIZE_MB=5 ROWS=400 WORK_DIR=/var/tmp PARTS="copy memory reflink" bench/compare-copy.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
cli="$build/bin/tavrin-cli"
photos=${PHOTOS:-2000}
size_mb=${SIZE_MB:-5}
rows=${ROWS:-400}
parts=" ${PARTS:-copy memory reflink} "
need_built "$cli"
need_tools jq python3 /usr/bin/time

make_work_dir
mnt=""
cleanup() {
  if [ -n "$mnt" ] && mountpoint -q "$mnt"; then umount "$mnt"; fi
  rm -rf "$work"
}
trap cleanup EXIT

is_root() { [ "$(id -u)" -eq 0 ]; }
now() { date +%s.%N; }
seconds() { python3 -c "print(f'{$2 - $1:.2f}')"; }
# A cold start for every timed copy: nothing of the photos left in memory.
cold() {
  sync
  if is_root; then echo 3 > /proc/sys/vm/drop_caches 2>/dev/null || true; fi
}

# COUNT photos of SIZE MB in DIR, each with its own bytes (no two files share a block).
make_photos() {
  python3 - "$1" "$2" "$3" <<'PY'
import os, sys
folder, count, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]) * 1024 * 1024
os.makedirs(folder, exist_ok=True)
block = bytearray(os.urandom(size))
for i in range(1, count + 1):
    block[0:16] = i.to_bytes(16, "little")
    block[size // 2:size // 2 + 16] = i.to_bytes(16, "big")
    with open(os.path.join(folder, "DSC_%05d.JPG" % i), "wb") as f:
        f.write(block)
PY
}

# A data folder with one spreadsheet of ROWS rows over the photos, the test programme, the
# day and event chosen, and the folders.
prepare() { # DATA SOURCE DEST COUNT ROWS
  local data=$1 source=$2 dest=$3 count=$4 nrows=$5
  mkdir -p "$data"
  python3 - "$data/library-in.json" "$count" "$nrows" <<'PY'
import json, sys, uuid
path, count, rows = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
day, sheet, t = str(uuid.uuid4()).upper(), "9E5D1D1C-0000-4000-8000-000000000001", "2026-06-14T10:00:00.000Z"
step = max(1, count // rows)
json.dump({"version": 1, "updatedAt": t, "days": [{"id": day, "name": "Samedi", "createdAt": t, "sortIndex": 0}],
           "spreadsheets": [{"id": sheet, "dayID": day, "title": "Grand Prix", "createdAt": t, "updatedAt": t, "isOpen": True,
                             "rows": [{"id": str(uuid.uuid4()).upper(), "photoNumber": str(1 + r * step), "assignedNumber": str(101 + r)}
                                      for r in range(rows)]}]}, open(path, "w"))
PY
  "$cli" --data-dir "$data" library merge "$data/library-in.json"
  "$cli" --data-dir "$data" workspace import-programme "$root/tests/fixtures/programme/weekend.xlsx" >/dev/null
  "$cli" --data-dir "$data" workspace set --spreadsheet "Grand Prix" --source "$source" --dest "$dest" \
    --day Samedi --event "Samedi|Epreuve 10 - Vitesse (1,10 m)" >/dev/null
}

# The same layout with cp: one cp per rider folder, from the plan.
cp_layout() { # DATA SOURCE DEST [cp options]
  local data=$1 source=$2 dest=$3; shift 3
  "$cli" --data-dir "$data" plan --spreadsheet "Grand Prix" 2>/dev/null \
    | jq -r '.groups[] | select(.files | length > 0) | [.folderName] + .files | @tsv' \
    | while IFS=$'\t' read -r folder files; do
        mkdir -p "$dest/$folder"
        # shellcheck disable=SC2086
        (cd "$source" && IFS=$'\t' && cp "$@" -t "$dest/$folder" -- $files)
      done
}

layout() { (cd "$1" && find . -type f | sort); }

if [[ $parts == *" copy "* ]]; then
echo "== organisation run against GNU cp: $photos photos of $size_mb MB, $rows rows, on $(df --output=fstype "$work" | tail -1) ($work)"
make_photos "$work/source" "$photos" "$size_mb"
prepare "$work/data" "$work/source" "$work/ours" "$photos" "$rows"
min() { if [ -z "$1" ]; then echo "$2"; else python3 -c "print(min($1, $2))"; fi; }
best_ours=""; best_cp=""; best_cp_sync=""
# Two rounds in opposite orders, so that neither side always runs on a warmer disk.
for order in "cp ours" "ours cp"; do
  for who in $order; do
    rm -rf "$work/ours" "$work/cp"
    mkdir -p "$work/ours"
    cold
    if [ "$who" = ours ]; then
      t0=$(now)
      /usr/bin/time -f %M -o "$work/rss" "$cli" --data-dir "$work/data" organize --spreadsheet "Grand Prix" > "$work/report.json"
      t1=$(now)
      s=$(seconds "$t0" "$t1")
      rss_main=$(cat "$work/rss")
      echo "tavrin-cli organize   ${s} s   (peak memory ${rss_main} KB; $(jq -r .headline "$work/report.json"))"
      best_ours=$(min "$best_ours" "$s")
      layout "$work/ours" > "$work/ours.list"
    else
      t0=$(now)
      cp_layout "$work/data" "$work/source" "$work/cp"
      t1=$(now)
      sync -f "$work/cp"
      t2=$(now)
      s=$(seconds "$t0" "$t1"); ss=$(seconds "$t0" "$t2")
      echo "cp                    ${s} s   cp + sync -f ${ss} s"
      best_cp=$(min "$best_cp" "$s")
      best_cp_sync=$(min "$best_cp_sync" "$ss")
      layout "$work/cp" > "$work/cp.list"
    fi
  done
done
rm -rf "$work/ours" "$work/cp"
if cmp -s "$work/ours.list" "$work/cp.list"; then echo "same layout: $(wc -l < "$work/ours.list") files"; else echo "LAYOUTS DIFFER"; fi
echo "best: organize ${best_ours} s · cp ${best_cp} s · cp + sync ${best_cp_sync} s"
echo "ratio organize / (cp + sync): $(python3 -c "print(f'{$best_ours / $best_cp_sync:.3f}')")   (target ≤ 1.05)"
echo "ratio organize / cp alone:    $(python3 -c "print(f'{$best_ours / $best_cp:.3f}')")"
rm -rf "$work/source" "$work/data"
fi

if [[ $parts == *" memory "* ]]; then
echo "== peak memory of a run (KB): it must not grow with the photos' size or count"
for run in "200 5" "200 25" "2000 1"; do
  set -- $run
  rm -rf "$work/m"
  make_photos "$work/m/source" "$1" "$2"
  prepare "$work/m/data" "$work/m/source" "$work/m/dest" "$1" "$(( $1 < rows ? $1 : rows ))"
  /usr/bin/time -f %M -o "$work/rss" "$cli" --data-dir "$work/m/data" organize --spreadsheet "Grand Prix" >/dev/null
  echo "$1 photos of $2 MB: $(cat "$work/rss") KB"
done
[ -z "${rss_main:-}" ] || echo "$photos photos of $size_mb MB: $rss_main KB"
rm -rf "$work/m"
fi

[[ $parts == *" reflink "* ]] || exit 0

echo "== reflinks on btrfs: bytes written to the device"
if ! is_root; then echo "skipped: the loop mount of a btrfs image needs root"; exit 0; fi
if ! command -v mkfs.btrfs >/dev/null; then echo "skipped: mkfs.btrfs is missing (btrfs-progs)"; exit 0; fi
image="$work/btrfs.img"
truncate -s $(( photos * size_mb * 13 / 10 + 2048 ))M "$image"
mkfs.btrfs -q "$image" >/dev/null
mnt="$work/btrfs"
mkdir -p "$mnt"
if ! mount -o loop "$image" "$mnt" 2>"$work/mount.err"; then echo "skipped: cannot mount the image ($(cat "$work/mount.err"))"; mnt=""; exit 0; fi
device=$(findmnt -n -o SOURCE "$mnt")
written() { sync -f "$mnt"; awk '{printf "%.0f\n", $7 * 512}' "/sys/block/$(basename "$device")/stat"; }
make_photos "$mnt/source" "$photos" "$size_mb"
prepare "$work/bdata" "$mnt/source" "$mnt/ours" "$photos" "$rows"
before=$(written); t0=$(now)
"$cli" --data-dir "$work/bdata" organize --spreadsheet "Grand Prix" >/dev/null
t1=$(now); after=$(written)
echo "tavrin-cli organize: $(seconds "$t0" "$t1") s, $(( (after - before) / 1024 )) KB written for $(( photos * size_mb )) MB of photos"
before=$(written); t0=$(now)
cp_layout "$work/bdata" "$mnt/source" "$mnt/cp" --reflink=auto
sync -f "$mnt"
t1=$(now); after=$(written)
echo "cp --reflink=auto + sync: $(seconds "$t0" "$t1") s, $(( (after - before) / 1024 )) KB written"
