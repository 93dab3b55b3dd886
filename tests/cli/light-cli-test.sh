#!/bin/sh
# tavrin-cli without its modules, as when they are missing from an installation:
#   light-cli-test.sh TAVRIN_CLI FIXTURES
# --help, --version and the everyday commands (a spreadsheet's plan and organisation) still work
# and load none of the large libraries; a command of the commands module, and reading a PDF, say
# in French which part of Tavrin is missing.
set -u
cli=$1 fixtures=$2
fail() { echo "ÉCHEC : $*" >&2; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
unset TAVRIN_MODULE_DIR
mkdir -p "$scratch/bin" "$scratch/source" "$scratch/dest"
cp "$cli" "$scratch/bin/tavrin-cli"
# With the subsystems' libraries it links, found as installed: <bin>/../lib/<arch>/tavrin.
runpath=$(readelf -d "$cli" | sed -n 's/.*(RUNPATH).*\[\$ORIGIN\/\(.*\)\]$/\1/p')
[ -n "$runpath" ] || fail "tavrin-cli sans RUNPATH relatif à \$ORIGIN : $(readelf -d "$cli" | grep PATH)"
mkdir -p "$scratch/bin/$runpath"
for library in $(ldd "$cli" | awk '$1 ~ /^libtavrin_/ {print $3}'); do cp "$library" "$scratch/bin/$runpath/"; done
cli=$scratch/bin/tavrin-cli
data=$scratch/data
run() { "$cli" --data-dir "$data" "$@"; }

heavy='libvips|libpoppler|libav(codec|format|util)|libffmpegthumbnailer|libcups|libcairo|libavahi|libmicrohttpd|libqrencode|libexif|libgumbo|libQt6(Gui|Widgets|PrintSupport|Network)'
! ldd "$cli" | grep -Eq "$heavy" || fail "tavrin-cli est lié à : $(ldd "$cli" | grep -Eo "$heavy" | sort -u | tr '\n' ' ')"

"$cli" --version | grep -Eq '^tavrin-cli [0-9]+\.[0-9]+\.[0-9]+$' || fail "--version : $("$cli" --version)"
help=$("$cli" --help) || fail "--help"
for command in "library add-day" plan organize thumbnail print "hand-over" retouch sync; do
  printf '%s\n' "$help" | grep -q "^  $command\b" || fail "--help ne liste pas « $command »"
done
"$cli" thumbnail --help | grep -q '^Utilisation : tavrin-cli thumbnail ' || fail "thumbnail --help sans le module"

# A spreadsheet of two rows over five photos and a programme read from a spreadsheet file, planned
# and organised without any module.
for n in 0001 0002 0003 0004 0005; do : > "$scratch/source/DSC_$n.JPG"; done
run library add-day Samedi >/dev/null || fail "library add-day"
run library add-spreadsheet --day Samedi "Grand Prix" >/dev/null || fail "library add-spreadsheet"
printf '1\t12\n4\t7\n' | run library add-rows --spreadsheet "Grand Prix" >/dev/null || fail "library add-rows"
run workspace import-programme "$fixtures/programme/weekend.xlsx" >/dev/null || fail "workspace import-programme"
run workspace set --spreadsheet "Grand Prix" --source "$scratch/source" --dest "$scratch/dest" \
  --day Samedi --event "Samedi|Epreuve 10 - Vitesse (1,10 m)" >/dev/null || fail "workspace set"
LD_DEBUG=files run plan --spreadsheet "Grand Prix" >"$scratch/plan.json" 2>"$scratch/plan.log" || fail "plan : $(cat "$scratch/plan.log")"
! grep -Eq "file=($heavy)" "$scratch/plan.log" || fail "plan charge : $(grep -Eo "file=($heavy)[^ ]*" "$scratch/plan.log" | sort -u)"
grep -q '"DSC_0003.JPG"' "$scratch/plan.json" || fail "le plan ne place pas DSC_0003.JPG"
[ "$(grep -c '"folderName"' "$scratch/plan.json")" -eq 2 ] || fail "le plan n’a pas deux dossiers : $(cat "$scratch/plan.json")"
run organize --spreadsheet "Grand Prix" >/dev/null 2>&1 || fail "organize"
[ "$(find "$scratch/dest" -type f | wc -l)" -eq 5 ] || fail "organize n’a pas copié les cinq photos : $(find "$scratch/dest" -type f)"

# The parts that are missing are named, in French, without a crash.
vips black "$scratch/photo.jpg" 32 32 2>/dev/null || : > "$scratch/photo.jpg"
run thumbnail "$scratch/photo.jpg" --size 16 --out "$scratch/t.png" 2>"$scratch/err"
status=$?
[ $status -eq 1 ] || fail "thumbnail sans module : statut $status"
grep -q '^La partie « .* » de Tavrin est absente ou ne peut pas être chargée (tavrin_commands.so) ; réinstallez Tavrin.$' "$scratch/err" ||
  fail "thumbnail sans module : $(cat "$scratch/err")"
run programme read "$fixtures/programme/federation.pdf" >/dev/null 2>"$scratch/err"
status=$?
[ $status -eq 1 ] || fail "lecture d’un PDF sans module : statut $status"
grep -q '« lecture des PDF ».*(tavrin_pdf.so)' "$scratch/err" || fail "lecture d’un PDF sans module : $(cat "$scratch/err")"
echo ok
