#!/usr/bin/env bash
# Seeds of capture_time_fuzz: a tiny JPEG encoded by vips and dated by exiftool (date,
# sub-seconds, offset), and the same with its date only.
set -euo pipefail
cd "$(dirname "$0")"
out=corpus/capture_time_fuzz
mkdir -p "$out"
vips black "$out/dated.jpg" 8 8
cp "$out/dated.jpg" "$out/date-only.jpg"
exiftool -q -overwrite_original -DateTimeOriginal="2026:06:14 10:11:12" -SubSecTimeOriginal=345 \
  -OffsetTimeOriginal=+02:00 "$out/dated.jpg"
exiftool -q -overwrite_original -DateTimeOriginal="2026:06:14 10:11:12" "$out/date-only.jpg"
