#!/usr/bin/env bash
# Composing a 24-megapixel photo to a validated A4 look with the watermark and writing the JPEG,
# through `tavrin-cli compose` (untouched copy, journal, render, hidden temporary file, rename),
# against libvips alone resizing the same photo to the same page and saving it at quality 97 in
# one command. Median of RUNS runs each: wall time, processor time of all threads (what the work
# costs when other jobs share the machine) and peak memory. Targets: ≤ 0.6 s, ≤ 600 MB.
#   RUNS=5 WORK_DIR=/var/tmp bench/compare-compose.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
cli="$build/bin/tavrin-cli"
runs=${RUNS:-5}
need_built "$cli"
need_tools convert vips python3 /usr/bin/time

make_work_dir

# A photo-like 6000 × 4000 JPEG: a broad gradient with grain, so the encoder has real work.
convert -size 6000x4000 gradient:'#203860-#e0c090' -attenuate 0.4 +noise Gaussian -quality 92 "$work/photo.jpg"
convert -size 2000x500 xc:none -fill 'rgba(255,255,255,0.8)' -draw 'rectangle 80,120 1920,380' "$work/filigrane.png"
look='{"format": "a4", "includeWatermark": true, "cropValidated": true}'

# Prints "seconds cpu-seconds peak-MB" of one command.
measure() {
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >/dev/null
  awk '{ printf "%s %.2f %.0f\n", $1, $2 + $3, $4 / 1024 }' "$work/time"
}
median() { python3 -c "import sys, statistics; v=[float(x) for x in sys.argv[1:]]; print(f'{statistics.median(v):.3f}')" "$@"; }

tavrin_s=() tavrin_cpu=() tavrin_mb=() vips_s=() vips_cpu=() vips_mb=()
for i in $(seq "$runs"); do
  dir="$work/run$i"; mkdir -p "$dir/data"; cp "$work/photo.jpg" "$dir/IMG_0001.jpg"
  read -r s cpu mb < <(measure "$cli" --data-dir "$dir/data" compose "$dir/IMG_0001.jpg" --look "$look" --watermark "$work/filigrane.png")
  tavrin_s+=("$s"); tavrin_cpu+=("$cpu"); tavrin_mb+=("$mb")
  # The same page size from the centred 5657 × 4000 crop: scale 3508 / 5657.
  read -r s cpu mb < <(measure vips resize "$work/photo.jpg" "$dir/vips.jpg[Q=97]" 0.62011)
  vips_s+=("$s"); vips_cpu+=("$cpu"); vips_mb+=("$mb")
done

printf '%-34s %10s %10s %10s\n' "" "seconds" "cpu s" "peak MB"
printf '%-34s %10s %10s %10s\n' "tavrin-cli compose (A4, watermark)" "$(median "${tavrin_s[@]}")" "$(median "${tavrin_cpu[@]}")" "$(median "${tavrin_mb[@]}")"
printf '%-34s %10s %10s %10s\n' "vips resize + jpegsave Q=97" "$(median "${vips_s[@]}")" "$(median "${vips_cpu[@]}")" "$(median "${vips_mb[@]}")"
