#!/usr/bin/env bash
# Capture times of 2,000 photos, warm: Tavrin's reader (rounds_bench, all cores, header only)
# against `exiftool -fast2` reading the same two tags of the same files in one process.
# The photos are copies of one 6-megapixel JPEG (about 0.5 MB, so that 2,000 of them stay
# small on disk; only their headers are read) carrying a camera-like EXIF block with a
# thumbnail. Target: Tavrin at most 300 ms.
#   PHOTOS=2000 WORK_DIR=/var/tmp bench/compare-capture-times.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
bench="$build/bin/rounds_bench"
photos=${PHOTOS:-2000}
need_built "$bench"
need_tools vips exiftool python3

make_work_dir
mkdir -p "$work/photos"
vips xyz "$work/xy.v" 3000 2000
vips extract_band "$work/xy.v" "$work/x.v" 0
vips linear "$work/x.v" "$work/r.v" 0.08 20
vips gaussnoise "$work/grain.v" 3000 2000 --sigma 3 --mean 0
vips add "$work/r.v" "$work/grain.v" "$work/g.v"
vips bandjoin "$work/g.v $work/r.v $work/g.v" "$work/rgb.v"
vips cast "$work/rgb.v" "$work/photos/DSC_0001.JPG[Q=90]" uchar
vips thumbnail "$work/photos/DSC_0001.JPG" "$work/thumb.jpg" 160
exiftool -q -overwrite_original -Make=Tavrin -Model=Bench -ExposureTime=1/1000 -FNumber=4 -ISO=400 \
  -DateTimeOriginal="2026:06:14 10:11:12" -SubSecTimeOriginal=345 -OffsetTimeOriginal=+02:00 \
  "-ThumbnailImage<=$work/thumb.jpg" "$work/photos/DSC_0001.JPG"
rm -f "$work"/*.v
for i in $(seq 2 "$photos"); do cp "$work/photos/DSC_0001.JPG" "$work/photos/$(printf "DSC_%04d.JPG" "$i")"; done
echo "photos: $photos × $(du -k "$work/photos/DSC_0001.JPG" | cut -f1) kB (copies of one encoded photo)"

# Warm both: read every file once.
cat "$work"/photos/* >/dev/null

TAVRIN_CAPTURE_PHOTOS="$work/photos" "$bench" --benchmark_filter=captureTimesOfFolder \
  --benchmark_format=json >"$work/tavrin.json"
tavrin_ms=$(python3 -c "import json,sys; b=json.load(open(sys.argv[1]))['benchmarks'][0]; print('%.1f' % b['real_time'])" "$work/tavrin.json")

best=""
for run in 1 2 3; do
  start=$(date +%s.%N)
  exiftool -fast2 -q -T -DateTimeOriginal -SubSecTimeOriginal "$work/photos" >/dev/null
  end=$(date +%s.%N)
  ms=$(python3 -c "print('%.1f' % ((float('$end') - float('$start')) * 1000))")
  if [ -z "$best" ] || python3 -c "import sys; sys.exit(0 if float('$ms') < float('$best') else 1)"; then best=$ms; fi
done

printf "%-34s %10s\n" "reader" "ms (warm)"
printf "%-34s %10s\n" "tavrin (CaptureTimes::folder)" "$tavrin_ms"
printf "%-34s %10s\n" "exiftool -fast2 (best of 3)" "$best"
