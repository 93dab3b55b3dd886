#!/usr/bin/env bash
# The retouch against libvips in the same run, with every step of the chain on:
#   retouch  `tavrin-cli retouch` of a 24-megapixel JPEG, written back (backup copy, journal,
#            decode, chain, encode at quality 97), beside `vips copy` decoding and encoding the
#            same file at quality 97; the ratio is what the retouch adds over that decode + encode.
#            Target ≤ 3 ×, peak ≤ 600 MB.
#   preview  the crop editor's 2,048-pixel preview made from scratch (retouch_bench
#            BM_RetouchPreviewShown, or BM_RetouchPreview where a build has no other), and while a
#            slider is dragged, from the rows the render before kept (BM_RetouchPreviewDrag:
#            exposure near the start of the chain, saturation in the middle, sharpness at the end),
#            over the same decode + encode. Target ≤ 0.25 ×.
#   compose  `tavrin-cli compose` to an A4 look with the watermark, over `vips resize` of the same
#            photo to the same page saved at quality 97. Target ≤ 1.3 ×.
# Each side runs RUNS times (3 by default), alternating, and the median is kept. On a shared
# machine the processor time of all threads is printed too, and the load average at the start.
#   RUNS=3 WORK_DIR=/var/tmp bench/compare-retouch.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
cli="$build/bin/tavrin-cli"
bench="$build/bin/retouch_bench"
runs=${RUNS:-3}
need_built "$cli"
need_built "$bench"
need_tools convert vips python3 /usr/bin/time

make_work_dir
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"

# A photo-like 6000 × 4000 JPEG: broad light with grain, so that every step and the encoder have
# real work; the watermark of the compose figure.
convert -size 6000x4000 gradient:'#203860-#e0c090' -attenuate 0.4 +noise Gaussian -quality 92 "$work/photo.jpg"
convert -size 2000x500 xc:none -fill 'rgba(255,255,255,0.8)' -draw 'rectangle 80,120 1920,380' "$work/filigrane.png"
settings='{"autoContrast": true, "exposure": 0.3, "shadows": 40, "highlights": -30, "shadowRadius": 30,
  "highlightRadius": 30, "brightness": 10, "contrast": 20, "vibrance": 25, "saturation": 10, "gamma": 0.9,
  "optimizedSharpness": true, "sharpnessNoiseReduction": 20}'
look='{"format": "a4", "includeWatermark": true, "cropValidated": true}'

# Prints "seconds cpu-seconds peak-MB" of one command.
measure() {
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >/dev/null
  awk '{ printf "%s %.2f %.0f\n", $1, $2 + $3, $4 / 1024 }' "$work/time"
}
median() { python3 -c "import sys, statistics; print(f'{statistics.median(float(x) for x in sys.argv[1:]):.3f}')" "$@"; }
ratio() { python3 -c "import sys; print(f'{float(sys.argv[1]) / float(sys.argv[2]):.2f}')" "$1" "$2"; }

declare -A s cpu mb
add() { s[$1]+=" $2"; cpu[$1]+=" $3"; mb[$1]+=" $4"; }
for i in $(seq "$runs"); do
  dir="$work/run$i"; mkdir -p "$dir/data"
  cp "$work/photo.jpg" "$dir/retouch.jpg"; cp "$work/photo.jpg" "$dir/compose.jpg"
  add vips $(measure vips copy "$work/photo.jpg" "$dir/vips.jpg[Q=97]")
  add retouch $(measure "$cli" --data-dir "$dir/data" retouch "$dir/retouch.jpg" --settings "$settings")
  # The same page size from the centred 5657 × 4000 crop: scale 3508 / 5657.
  add resize $(measure vips resize "$work/photo.jpg" "$dir/resize.jpg[Q=97]" 0.62011)
  add compose $(measure "$cli" --data-dir "$dir/data" compose "$dir/compose.jpg" --look "$look" --watermark "$work/filigrane.png")
done
# The preview, in the benchmark's own repetitions; its median in seconds.
filter=BM_RetouchPreviewShown
"$bench" --benchmark_list_tests | grep -q "$filter" || filter=BM_RetouchPreview
preview=$("$bench" --benchmark_filter="^$filter/" --benchmark_repetitions="$runs" --benchmark_format=json 2>/dev/null |
  python3 -c "import json, sys, statistics
runs = [b for b in json.load(sys.stdin)['benchmarks'] if b.get('run_type') == 'iteration']
print(f\"{statistics.median(b['real_time'] for b in runs) / 1000:.3f}\")")

# While a slider is dragged: "name seconds cpu-seconds" per slider, medians.
drag=$("$bench" --benchmark_filter='^BM_RetouchPreviewDrag/' --benchmark_repetitions="$runs" --benchmark_format=json 2>/dev/null |
  python3 -c "import json, sys, statistics
runs = [b for b in json.load(sys.stdin)['benchmarks'] if b.get('run_type') == 'iteration']
names = {0: 'exposure', 1: 'saturation', 2: 'sharpness'}
for k in sorted({int(b['run_name'].split('/')[1]) for b in runs}):
    mine = [b for b in runs if int(b['run_name'].split('/')[1]) == k]
    print(names.get(k, k), f\"{statistics.median(b['real_time'] for b in mine) / 1000:.3f}\",
          f\"{statistics.median(b['allThreadsCPU_s'] for b in mine):.3f}\")" || true)

printf '%-40s %9s %9s %9s\n' "" "seconds" "cpu s" "peak MB"
row() { printf '%-40s %9s %9s %9s\n' "$1" "$(median ${s[$2]})" "$(median ${cpu[$2]})" "$(median ${mb[$2]})"; }
row "vips copy (decode + encode Q=97)" vips
row "tavrin-cli retouch (every step)" retouch
row "vips resize + jpegsave Q=97" resize
row "tavrin-cli compose (A4, watermark)" compose
printf '%-40s %9s\n' "retouch_bench preview 2048 px ($filter)" "$preview"
while read -r slider seconds cpuSeconds; do
  [ -n "$slider" ] && printf '%-40s %9s %9s\n' "  the same, $slider slider dragged" "$seconds" "$cpuSeconds"
done <<< "$drag"
base=$(median ${s[vips]}); total=$(median ${s[retouch]})
beyond=$(python3 -c "print(f'{$total - $base:.3f}')")
echo
echo "retouch beyond decode + encode: ${beyond} s over ${base} s = $(ratio "$beyond" "$base") × (target ≤ 3), peak $(median ${mb[retouch]}) MB (≤ 600)"
echo "preview from scratch:           ${preview} s over ${base} s = $(ratio "$preview" "$base") × (target ≤ 0.25)"
while read -r slider seconds cpuSeconds; do
  [ -n "$slider" ] && echo "preview, $slider dragged: $(printf '%*s' $((11 - ${#slider})) '')${seconds} s over ${base} s = $(ratio "$seconds" "$base") ×"
done <<< "$drag"
echo "compose A4 with watermark:      $(median ${s[compose]}) s over $(median ${s[resize]}) s = $(ratio "$(median ${s[compose]})" "$(median ${s[resize]})") × (target ≤ 1.3)"
# In processor time, the fairer figure on a shared machine.
cbase=$(median ${cpu[vips]}); cbeyond=$(python3 -c "print(f'{$(median ${cpu[retouch]}) - $cbase:.3f}')")
echo "in processor time: retouch beyond decode + encode ${cbeyond} s over ${cbase} s = $(ratio "$cbeyond" "$cbase") ×;" \
  "compose $(median ${cpu[compose]}) s over $(median ${cpu[resize]}) s = $(ratio "$(median ${cpu[compose]})" "$(median ${cpu[resize]})") ×"
