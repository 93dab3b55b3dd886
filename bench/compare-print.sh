#!/usr/bin/env bash
# Spooling ten 24-megapixel photos on A4 to a PDF print queue of a private print server: the time
# `tavrin-cli print` takes to hand the job over, the time until the queue has written it, and the
# peak memory (target ≤ 1 GB: one photo decoded at a time), against `lp` of the same JPEG files
# to the same queue. Root only (the print server is our own, see scripts/private-cups.sh).
#   PHOTOS=10 WORK_DIR=/var/tmp bench/compare-print.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
cli="$root/${BUILD_DIR:-build/release}/bin/tavrin-cli"
count=${PHOTOS:-10}
[ -x "$cli" ] || { echo "compare-print: build $cli first (make build)"; exit 1; }
for tool in convert lp lpstat python3 /usr/bin/time; do command -v "$tool" >/dev/null || { echo "compare-print: $tool is missing"; exit 1; }; done

work=$(mktemp -d "${WORK_DIR:-/var/tmp}/tavrin-compare-print.XXXXXX")
# The print server's filters run as lp and must reach the spool below.
chmod 755 "$work"
cleanup() { "$root/scripts/private-cups.sh" stop "$work/cups"; [ -n "${KEEP:-}" ] || rm -rf "$work"; }
trap cleanup EXIT
if ! socket=$("$root/scripts/private-cups.sh" start "$work/cups" Bench); then
  echo "compare-print: skipped, the private print server did not start"
  exit 0
fi
export CUPS_SERVER=$socket

convert -size 6000x4000 gradient:'#203860-#e0c090' -attenuate 0.4 +noise Gaussian -quality 92 "$work/photo.jpg"
photos=()
for i in $(seq "$count"); do
  cp "$work/photo.jpg" "$work/IMG_$(printf %04d "$i").jpg"
  photos+=("$work/IMG_$(printf %04d "$i").jpg")
done

now() { date +%s.%N; }
# Waits for the queue to write the job; a job the print server stopped is an error.
drained() {
  for _ in $(seq 6000); do
    [ -z "$(lpstat -o Bench)" ] && return 0
    if lpstat -p Bench | grep -q 'Filter failed'; then
      echo "compare-print: the print server stopped the job: $(grep -E '^E ' "$work/cups/log/error_log" | tail -1)" >&2
      cancel -a Bench; cupsenable Bench
      return 1
    fi
    sleep 0.1
  done
  echo "compare-print: the job was not written within 10 minutes" >&2
  exit 1
}
# Prints "handed-over-seconds written-seconds peak-MB spooled-MB".
measure() {
  rm -f "$work/cups/out/job.pdf"
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
  python3 -c "print(f'{$end_submit - $start:.2f} {$end_done - $start:.2f} $peak {__import__(\"os\").path.getsize(\"$work/cups/out/job.pdf\") / 1e6:.0f}')"
}

printf '%-40s %10s %10s %10s %10s\n' "" "handed s" "written s" "peak MB" "job MB"
row() { local figures; figures=$(measure "${@:2}") || exit 1; printf '%-40s %10s %10s %10s %10s\n' "$1" $figures; }
row "tavrin-cli print --paper a4 ($count × 24 MP)" "$cli" --data-dir "$work/data" print "${photos[@]}" --paper a4 --printer Bench
row "lp -o media=A4 (same JPEG files)" lp -d Bench -o media=A4 "${photos[@]}"
# The same pages written to a file by the same code without the queue: what drawing them costs.
start=$(now)
/usr/bin/time -f '%M' -o "$work/time" "$cli" --data-dir "$work/data" print "${photos[@]}" --paper a4 --pdf "$work/proof.pdf" >/dev/null
end=$(now)
printf '%-40s %10s %10s %10s %10s\n' "tavrin-cli print --pdf (no queue)" \
  "$(python3 -c "print(f'{$end - $start:.2f}')")" - \
  "$(python3 -c "print(f'{int(open(\"$work/time\").read().split()[-1]) / 1024:.0f}')")" \
  "$(python3 -c "print(f'{__import__(\"os\").path.getsize(\"$work/proof.pdf\") / 1e6:.0f}')")"
