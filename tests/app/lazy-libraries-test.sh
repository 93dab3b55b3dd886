#!/bin/sh
# The window starts without the image, video and PDF libraries and loads them when first used:
#   lazy-libraries-test.sh TAVRIN
# Its linked libraries name none of them, a start to the first window loads none of them, and
# the demonstration, whose photos are drawn and encoded through libvips, is made by the same
# program (libvips loaded on its first call).
set -u
tavrin=$1
fail() { echo "ÉCHEC : $*" >&2; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home" "$scratch/runtime" "$scratch/tmp"
chmod 700 "$scratch/runtime"
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" XDG_DATA_HOME="$scratch/home/.local/share" \
  XDG_CACHE_HOME="$scratch/home/.cache" XDG_RUNTIME_DIR="$scratch/runtime" TMPDIR="$scratch/tmp" QT_QPA_PLATFORM=offscreen

lazy='libvips|libpoppler|libffmpegthumbnailer|libav(codec|format|util)'
! ldd "$tavrin" | grep -Eq "$lazy" || fail "tavrin est lié à : $(ldd "$tavrin" | grep -Eo "$lazy" | sort -u | tr '\n' ' ')"
LD_DEBUG=files TAVRIN_QUIT_WHEN_SHOWN=1 "$tavrin" --data-dir "$scratch/data" 2>"$scratch/start.log" ||
  fail "démarrage : $(tail -5 "$scratch/start.log")"
! grep -Eq "file=($lazy)" "$scratch/start.log" || fail "le démarrage charge : $(grep -Eo "file=($lazy)[^ ]*" "$scratch/start.log" | sort -u)"

TAVRIN_QUIT_WHEN_SHOWN=1 "$tavrin" --demo 2>"$scratch/demo.log" || fail "--demo : $(cat "$scratch/demo.log")"
photo=$(find "$scratch/tmp" -name 'DSC_*.JPG' | head -n 1)
[ -n "$photo" ] || fail "--demo n’a fait aucune photo"
if command -v vipsheader >/dev/null 2>&1; then
  [ "$(vipsheader -f width "$photo")" -gt 0 ] || fail "$photo n’est pas une image"
fi
echo ok
