#!/bin/sh
# The software centre's description: valid for appstreamcli without network access, in English
# and French, pointing at the launcher, the MIME type and screenshots that exist in docs/.
set -u
metainfo=$1 source=$2
fail() { echo "ÉCHEC : $*" >&2; exit 1; }

[ -f "$metainfo" ] || fail "$metainfo n’a pas été produit"
command -v appstreamcli >/dev/null 2>&1 ||
  { echo "appstreamcli absent (paquet appstream) : test ignoré" >&2; exit 77; }

appstreamcli validate --no-net --pedantic "$metainfo" || fail "appstreamcli refuse $metainfo"

# Every template placeholder was replaced at configure time.
! grep -q '@[A-Z_]*@' "$metainfo" || fail "un @VARIABLE@ reste dans $metainfo"
grep -q '<summary xml:lang="fr">' "$metainfo" || fail "pas de résumé en français"
grep -q '<p xml:lang="fr">' "$metainfo" || fail "pas de description en français"

# The launcher is installed under the component's id, and the licence is the repository's.
id=$(sed -n 's|.*<id>\(.*\)</id>.*|\1|p' "$metainfo")
launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
[ "$launchable" = "$id.desktop" ] || fail "le lanceur $launchable ne porte pas l’identifiant $id"
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" || fail "licence du projet absente"
head -n 1 "$source/LICENSE" | grep -q 'GNU GENERAL PUBLIC LICENSE' || fail "LICENSE n’est pas la GPL"
grep -q '^ *Version 3' "$source/LICENSE" || fail "LICENSE n’est pas la version 3 de la GPL"
mediatype=$(sed -n 's|.*<mediatype>\(.*\)</mediatype>.*|\1|p' "$metainfo")
grep -q "<mime-type type=\"$mediatype\"" "$source/packaging/tavrin-mime.xml" ||
  fail "le type $mediatype n’est pas celui de tavrin-mime.xml"

shots=$(sed -n 's|.*<image[^>]*>.*/screenshots/\([^<]*\)</image>.*|\1|p' "$metainfo")
[ -n "$shots" ] || fail "aucune capture d’écran"
for shot in $shots; do
  [ -f "$source/docs/screenshots/$shot" ] || fail "la capture $shot n’est pas dans docs/screenshots"
done
# The sizes announced are those of the pictures (they change when the window is rendered again).
if command -v vipsheader >/dev/null 2>&1; then
  sed -n 's|.*<image[^>]* width="\([0-9]*\)" height="\([0-9]*\)">.*/screenshots/\([^<]*\)</image>.*|\1 \2 \3|p' "$metainfo" |
  while read -r width height shot; do
    actual="$(vipsheader -f width "$source/docs/screenshots/$shot") $(vipsheader -f height "$source/docs/screenshots/$shot")"
    [ "$actual" = "$width $height" ] || fail "$shot mesure $actual, la description annonce $width $height"
  done || exit 1
fi
echo "ok"
