#!/usr/bin/env bash
# « Imprimer » of twenty 24-megapixel JPEG photos, two per order in ten orders, as ten sheets of
# two 10 × 15 cut apart by a dye-sub printer (the driver's 15 × 20 sheet cut in two), to a queue
# of a private print server made from the driver's own description; against `lp` of the same
# files with the same size, in the same run. The queue is stopped, so that what is measured is the
# time until the job is in it (the command returns), not the driver's own work. Target: handed
# over ≤ 1.5 s. Root only (the print server is our own, see scripts/private-cups.sh).
#   PHOTOS=20 BUILD_DIR=build/debug bench/compare-print-sheets.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
cli="$build/bin/tavrin-cli"
count=${PHOTOS:-20}
need_built "$cli"
need_tools convert lp lpstat cancel cupsdisable python3 /usr/bin/time

make_work_dir
chmod 755 "$work"
cleanup() { "$root/scripts/private-cups.sh" stop "$work/cups"; [ -n "${KEEP:-}" ] || rm -rf "$work"; }
trap cleanup EXIT
if ! socket=$("$root/scripts/private-cups.sh" start "$work/cups" Generic >/dev/null && echo "$work/cups/cups.sock") \
   || ! "$root/scripts/private-cups.sh" add "$work/cups" Stand dnp-ds620; then
  echo "$name: skipped, the private print server or the dye-sub driver is missing"
  exit 0
fi
export CUPS_SERVER=$socket
cupsdisable Stand

# A camera-like 6000 × 4000 JPEG (about 13 MB at quality 92), two copies per order.
convert -size 6000x4000 gradient:'#203860-#e0c090' -attenuate 0.4 +noise Gaussian -quality 92 "$work/photo.jpg"
photos=()
for i in $(seq "$count"); do
  order="$work/orders/CLIENT $(( (i + 1) / 2 ))/IMPRESSION 10x15"
  mkdir -p "$order"
  cp "$work/photo.jpg" "$order/IMG_$(printf %04d "$i").jpg"
  photos+=("$order/IMG_$(printf %04d "$i").jpg")
done

now() { date +%s.%N; }
# Prints "handed-over-s peak-MB".
measure() {
  local start end
  start=$(now)
  /usr/bin/time -f '%M' -o "$work/time" "$@" >/dev/null
  end=$(now)
  python3 -c "print(f'{$end - $start:.2f} {int(open(\"$work/time\").read().split()[-1]) / 1024:.0f}')"
}

# The sheets job's pages, from the document the queue received last.
sheet_pages() {
  python3 - "$work/cups/spool" <<'PY'
import glob, os, re, sys
docs = sorted(glob.glob(sys.argv[1] + "/d*-001"), key=os.path.getmtime)
data = open(docs[-1], "rb").read() if docs else b""
print(len(re.findall(rb"/Type\s*/Page[^s]", data)))
PY
}
median() { python3 -c "import statistics, sys; print(f'{statistics.median(float(v) for v in sys.argv[1:]):.2f}')" "$@"; }

# Three rounds, alternating, as the machine may be busy: the median of each.
echo "$count JPEG photos of 6000 × 4000 in $(( (count + 1) / 2 )) orders, sheets « 2 × 10 × 15 cm sur 15 × 20 cm »"
printf '%-52s %10s %10s\n' "" "handed s" "peak MB"
tavrin=() lps=() pages=0
# Each starts with the disk's pending writes done, the previous job's spool not weighing on it.
ours() {
  sync
  read -r t_handed t_peak <<<"$(measure "$cli" --data-dir "$work/data" print "${photos[@]}" --media w432h576-div2 --printer Stand 2>/dev/null)"
  pages=$(sheet_pages)
  cancel -a -x Stand || true
}
theirs() {
  sync
  read -r l_handed l_peak <<<"$(measure lp -d Stand -o PageSize=w432h576-div2 "${photos[@]}")"
  cancel -a -x Stand || true
}
for round in 1 2 3; do
  if [ $((round % 2)) -eq 1 ]; then ours; theirs; else theirs; ours; fi
  printf '%-52s %10s %10s\n' "round $round: tavrin-cli print --media w432h576-div2" "$t_handed" "$t_peak"
  printf '%-52s %10s %10s\n' "round $round: lp -o PageSize=w432h576-div2 (same files)" "$l_handed" "$l_peak"
  tavrin+=("$t_handed") lps+=("$l_handed")
done
t_handed=$(median "${tavrin[@]}") l_handed=$(median "${lps[@]}")
printf '%-52s %10s\n' "median: tavrin-cli print (10 sheets)" "$t_handed"
printf '%-52s %10s\n' "median: lp (same files)" "$l_handed"

python3 - "$t_handed" "$l_handed" "$pages" "$count" <<'PY'
import sys
handed, lp, pages, count = float(sys.argv[1]), float(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
def check(name, ok, detail):
    print(f"{'ok  ' if ok else 'MISS'} {name}: {detail}")
check("handed over ≤ 1.5 s", handed <= 1.5, f"{handed:.2f} s against lp {lp:.2f} s ({handed / lp:.2f} ×)")
check("two photos per sheet", pages == (count + 1) // 2, f"{pages} sheets")
PY
