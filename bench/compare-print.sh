#!/usr/bin/env bash
# Printing ten 24-megapixel JPEG photos on A4 to a PDF queue of a private print server, against
# `lp` of the same files to the same queue in the same run: the time the job is handed over (the
# command returns), the time the queue has written it, the peak memory and the size of the job
# the server received (its spooled documents) beside the JPEG files' bytes. Targets: handed over
# ≤ 1.5 s, written ≤ 1.2 × lp, peak ≤ 300 MB, job ≤ 1.1 × the JPEG bytes. Then one 24-megapixel
# PNG, printed losslessly from its pixels. Root only (the print server is our own, see
# scripts/private-cups.sh).
#   PHOTOS=10 WORK_DIR=/var/tmp bench/compare-print.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
cli="$build/bin/tavrin-cli"
count=${PHOTOS:-10}
need_built "$cli"
need_tools convert vips lp lpstat python3 /usr/bin/time

make_work_dir
# The print server's filters run as lp and must reach the spool below.
chmod 755 "$work"
cleanup() { "$root/scripts/private-cups.sh" stop "$work/cups"; [ -n "${KEEP:-}" ] || rm -rf "$work"; }
trap cleanup EXIT
if ! socket=$("$root/scripts/private-cups.sh" start "$work/cups" Bench); then
  echo "compare-print: skipped, the private print server did not start"
  exit 0
fi
export CUPS_SERVER=$socket

# A camera-like 6000 × 4000 JPEG (about 13 MB at quality 92), copied ten times.
convert -size 6000x4000 gradient:'#203860-#e0c090' -attenuate 0.4 +noise Gaussian -quality 92 "$work/photo.jpg"
photos=()
for i in $(seq "$count"); do
  cp "$work/photo.jpg" "$work/IMG_$(printf %04d "$i").jpg"
  photos+=("$work/IMG_$(printf %04d "$i").jpg")
done
jpeg_bytes=$(( $(stat -c %s "$work/photo.jpg") * count ))
convert -size 6000x4000 gradient:'#203860-#e0c090' -attenuate 0.4 +noise Gaussian -depth 8 "PNG24:$work/IMG_0100.png"

now() { date +%s.%N; }
last_job() { lpstat -W all -o Bench 2>/dev/null | awk '{print $1}' | sed 's/.*-//' | sort -n | tail -1; }
# Waits for the queue to write the job; a job the print server stopped is an error.
drained() {
  for _ in $(seq 6000); do
    [ -z "$(lpstat -o Bench)" ] && return 0
    if lpstat -p Bench | grep -q -E 'Filter failed|disabled'; then
      echo "compare-print: the print server stopped the job: $(grep -E '^E ' "$work/cups/log/error_log" | tail -1)" >&2
      cancel -a Bench; cupsenable Bench
      return 1
    fi
    sleep 0.05
  done
  echo "compare-print: the job was not written within 5 minutes" >&2
  exit 1
}
mb() { python3 -c "print(f'{$1 / 1e6:.0f}')"; }
# Prints "handed-over-s written-s peak-MB job-MB".
measure() {
  local before; before=$(last_job); before=${before:-0}
  local start end_submit end_done
  start=$(now)
  /usr/bin/time -f '%M' -o "$work/time" "$@" >/dev/null
  end_submit=$(now)
  local peak; peak=$(python3 -c "print(f'{int(open(\"$work/time\").read().split()[-1]) / 1024:.0f}')")
  if ! drained; then
    python3 -c "print(f'{$end_submit - $start:.2f} failed $peak -')"
    return 0
  fi
  end_done=$(now)
  # The documents the server received for the job, kept in its spool.
  local job; job=$(last_job)
  local size=0
  if [ -n "$job" ] && [ "$job" != "$before" ]; then
    size=$(find "$work/cups/spool" -name "d$(printf %05d "$job")-*" -printf '%s\n' | awk '{s += $1} END {print s + 0}')
  fi
  python3 -c "print(f'{$end_submit - $start:.2f} {$end_done - $start:.2f} $peak {$size / 1e6:.0f}')"
}

echo "$count JPEG photos of 6000 × 4000 on A4, $(mb "$jpeg_bytes") MB of JPEG in all"
printf '%-44s %10s %10s %10s %10s\n' "" "handed s" "written s" "peak MB" "job MB"
row() { local figures; figures=$(measure "${@:2}") || exit 1; printf '%-44s %10s %10s %10s %10s\n' "$1" $figures; echo "$figures" > "$work/last"; }
row "tavrin-cli print --paper a4" "$cli" --data-dir "$work/data" print "${photos[@]}" --paper a4 --printer Bench
read -r t_handed t_written t_peak t_job < "$work/last"
row "lp -o media=A4 (same JPEG files)" lp -d Bench -o media=A4 "${photos[@]}"
read -r l_handed l_written l_peak l_job < "$work/last"
# The same pages written to a file by the same code without the queue.
start=$(now)
/usr/bin/time -f '%M' -o "$work/time" "$cli" --data-dir "$work/data" print "${photos[@]}" --paper a4 --pdf "$work/proof.pdf" >/dev/null
end=$(now)
printf '%-44s %10s %10s %10s %10s\n' "tavrin-cli print --pdf (no queue)" \
  "$(python3 -c "print(f'{$end - $start:.2f}')")" - \
  "$(python3 -c "print(f'{int(open(\"$work/time\").read().split()[-1]) / 1024:.0f}')")" \
  "$(mb "$(stat -c %s "$work/proof.pdf")")"
row "tavrin-cli print, one 24 MP PNG (lossless)" "$cli" --data-dir "$work/data" print "$work/IMG_0100.png" --paper a4 --printer Bench

python3 - "$t_handed" "$t_written" "$t_peak" "$t_job" "$l_written" "$jpeg_bytes" <<'PY'
import sys
handed, written, peak, job, lp_written, jpeg = sys.argv[1:]
def check(name, ok, detail):
    print(f"{'ok  ' if ok else 'MISS'} {name}: {detail}")
check("handed over ≤ 1.5 s", float(handed) <= 1.5, f"{handed} s")
check("written ≤ 1.2 × lp", float(written) <= 1.2 * float(lp_written), f"{written} s against {lp_written} s ({float(written) / float(lp_written):.2f} ×)")
check("peak ≤ 300 MB", float(peak) <= 300, f"{peak} MB")
check("job ≤ 1.1 × the JPEG bytes", float(job) * 1e6 <= 1.1 * int(jpeg), f"{job} MB against {int(jpeg) / 1e6:.0f} MB")
PY
