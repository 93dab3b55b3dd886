#!/usr/bin/env bash
# The gallery's 480-pixel thumbnail against the `vipsthumbnail` command, one process per photo,
# on 200 photos of 24 megapixels (6000 × 4000 JPEG with light, shapes and grain). One photo is
# encoded and copied under PHOTOS names with distinct modification times (encoding each would
# take minutes); to the caches every copy is a different file. Both write a PNG.
#   cold: `tavrin-cli thumbnail` with an empty freedesktop folder (it writes the shared entry);
#   warm: again, reading that entry; baseline: `vipsthumbnail --size 480`.
# Target: cold faster than vipsthumbnail (about 0.12 s and 41 MB per photo here). Time is the
# wall clock per photo, memory the largest peak resident size of one process (/usr/bin/time -v).
#   PHOTOS=200 WORK_DIR=/var/tmp bench/compare-thumbnail.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
cli="$build/bin/tavrin-cli"
photos=${PHOTOS:-200}
need_built "$cli"
need_tools vips vipsthumbnail python3 /usr/bin/time

make_work_dir
mkdir -p "$work/photos" "$work/out-tavrin" "$work/out-vips"

# Light from left to right and top to bottom, a hard-edged disc, grain of sigma 6.
vips xyz "$work/xy.v" 6000 4000
vips extract_band "$work/xy.v" "$work/x.v" 0
vips extract_band "$work/xy.v" "$work/y.v" 1
vips linear "$work/x.v" "$work/lx.v" 0.015 40
vips linear "$work/y.v" "$work/ly.v" 0.0175 0
vips add "$work/lx.v" "$work/ly.v" "$work/light.v"
vips linear "$work/x.v" "$work/dx.v" 1 " -2400"
vips linear "$work/y.v" "$work/dy.v" 1 " -2200"
vips multiply "$work/dx.v" "$work/dx.v" "$work/dx2.v"
vips multiply "$work/dy.v" "$work/dy.v" "$work/dy2.v"
vips add "$work/dx2.v" "$work/dy2.v" "$work/r2.v"
vips relational_const "$work/r2.v" "$work/disc.v" less 640000
vips linear "$work/disc.v" "$work/disc60.v" 0.235 0
vips add "$work/light.v" "$work/disc60.v" "$work/base.v"
vips gaussnoise "$work/grain.v" 6000 4000 --sigma 6 --mean 0
vips add "$work/base.v" "$work/grain.v" "$work/r.v"
vips linear "$work/r.v" "$work/g.v" 0.85 20
vips linear "$work/r.v" "$work/b.v" 0.7 35
vips bandjoin "$work/r.v $work/g.v $work/b.v" "$work/rgb.v"
vips cast "$work/rgb.v" "$work/photos/DSC_00001.JPG[Q=90]" uchar
rm -f "$work"/*.v
for i in $(seq 1 "$photos"); do
  name=$(printf "DSC_%05d.JPG" "$i")
  [ "$i" -eq 1 ] || cp "$work/photos/DSC_00001.JPG" "$work/photos/$name"
  touch -d "@$((1700000000 + i))" "$work/photos/$name"
done
echo "photos: $photos × $(vipsheader "$work/photos/DSC_00001.JPG" | cut -d' ' -f2), $(du -m "$work/photos/DSC_00001.JPG" | cut -f1) MB each (copies of one encoded photo)"

# Runs "$@" once per photo (PHOTO replaced by its path, NAME by its base name); prints
# "seconds-per-photo peak-MB".
run_all() {
  local start end peak=0 kb
  start=$(date +%s.%N)
  for f in "$work"/photos/*.JPG; do
    local n; n=$(basename "$f" .JPG)
    local args=("${@//PHOTO/$f}"); args=("${args[@]//NAME/$n}")
    /usr/bin/time -v -o "$work/time.txt" "${args[@]}" >/dev/null
    kb=$(awk -F': ' '/Maximum resident/ {print $2}' "$work/time.txt")
    [ "$kb" -gt "$peak" ] && peak=$kb
  done
  end=$(date +%s.%N)
  python3 -c "print(f'{($end - $start) / $photos:.4f} s {$peak / 1024:.1f} MB')"
}

export XDG_CACHE_HOME="$work/cache"
sync
base=$(run_all vipsthumbnail PHOTO --size 480 -o "$work/out-vips/NAME.png")
cold=$(run_all "$cli" thumbnail PHOTO --size 480 --out "$work/out-tavrin/NAME.png")
warm=$(run_all "$cli" thumbnail PHOTO --size 480 --out "$work/out-tavrin/NAME.png")
entries=$(find "$work/cache/thumbnails" -name '*.png' | wc -l)
echo "per photo (wall clock, peak resident memory of one process):"
echo "  vipsthumbnail --size 480          $base"
echo "  tavrin-cli thumbnail, cold        $cold"
echo "  tavrin-cli thumbnail, warm entry  $warm   ($entries shared entries written)"
echo "  (in-process figures, without process start-up: build/release/bin/thumbnail_bench)"
