#!/bin/sh
# The man pages as man shows them in any locale, and the --help texts they come from:
#   man-page-test.sh MAN_DIR TAVRIN TAVRIN_CLI
# No warning from man (plain C locale included), every option of --help on a line of its own in
# the page, and help texts without a programmer's type name or three dots for an ellipsis.
set -u
mandir=$1 tavrin=$2 cli=$3
fail() { echo "ÉCHEC : $*" >&2; exit 1; }
command -v man >/dev/null 2>&1 || { echo "man absent : test ignoré" >&2; exit 77; }

for program in "$tavrin" "$cli"; do
  name=$(basename "$program")
  page=$mandir/$name.1.gz
  [ -f "$page" ] || fail "$page absente"
  help=$(QT_QPA_PLATFORM=offscreen "$program" --help) || fail "$name --help"
  for locale in C C.UTF-8; do
    for mode in "" --warnings; do
      warnings=$(LANG=$locale LC_ALL=$locale MANWIDTH=80 man $mode -l "$page" 2>&1 >/dev/null)
      [ -z "$warnings" ] || fail "$name.1 ($locale ${mode:-sans --warnings}) : $warnings"
    done
  done
  shown=$(LANG=C.UTF-8 LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null)
  options=$(printf '%s\n' "$help" | sed -n 's/^  \(--[a-z-]*\( [A-Z]*\)\?\)$/\1/p')
  [ -n "$options" ] || fail "$name --help ne liste aucune option"
  printf '%s\n' "$options" | while IFS= read -r option; do
    printf '%s\n' "$shown" | grep -Eq "^ +$option\$" || fail "$name.1 : « $option » n’est pas seule sur sa ligne"
  done || exit 1
  cli_helps=$help
  if [ "$program" = "$cli" ]; then
    # Every command's own help too.
    cli_helps="$cli_helps
$(printf '%s\n' "$help" | sed -n 's/^  \([a-z][a-z-]*\( [a-z][a-z-]*\)\?\)\( .*\)\?$/\1/p' | sort -u |
  while IFS= read -r command; do "$program" $command --help 2>/dev/null; done)"
  fi
  ! printf '%s\n' "$cli_helps" | grep -n '\.\.\.' || fail "$name : « ... » au lieu de « … »"
  ! printf '%s\n' "$cli_helps" | grep -nE '\b[A-Z][a-z]+[A-Z][A-Za-z]*\b' || fail "$name : un nom de type dans l’aide"
done
echo ok
