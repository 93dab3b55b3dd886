#!/bin/sh
# The launcher as desktops read it: valid for desktop-file-validate, opening transfer files with
# the type the MIME file declares, and naming an icon that is shipped.
set -u
packaging=$1
fail() { echo "ÉCHEC : $*" >&2; exit 1; }

desktop=$packaging/tavrin.desktop

mime_type=$(sed -n 's/.*<mime-type type="\([^"]*\)".*/\1/p' "$packaging/tavrin-mime.xml")
[ -n "$mime_type" ] || fail "aucun type dans tavrin-mime.xml"
grep -Eq "^MimeType=(.*;)?$mime_type;" "$desktop" || fail "MimeType= ne déclare pas $mime_type"
grep -q '^Exec=tavrin %[fFuU]' "$desktop" || fail "Exec= ne passe pas les fichiers à tavrin"
grep -q '^Keywords=..*;$' "$desktop" || fail "Keywords= absent : les menus ne trouvent Tavrin que par son nom"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$packaging/icons/$icon.svg" ] || fail "l’icône $icon n’existe pas dans packaging/icons"
command -v desktop-file-validate >/dev/null 2>&1 ||
  { echo "desktop-file-validate absent (paquet desktop-file-utils) : validation ignorée" >&2; exit 77; }
desktop-file-validate "$desktop" || fail "desktop-file-validate refuse $desktop"
echo "ok"
