#!/bin/sh
# Writes the man page of a program from its own --help and --version, so that the page never
# drifts from the program, plus hand-written sections:
#   help-to-man.sh PROGRAM SECTIONS DATE OUT
# SECTIONS holds roff under headings in brackets: [NOM] is the one-line name, [DESCRIPTION] goes
# before what --help says, any other section after it.
set -eu
if [ $# -ne 4 ]; then
  echo "Utilisation : help-to-man.sh PROGRAMME SECTIONS DATE SORTIE" >&2
  exit 2
fi
program=$1 sections=$2 date=$3 out=$4
trap 'rm -f "$out.tmp"' EXIT
name=$(basename "$program")
help=$("$program" --help)
version=$("$program" --version | head -n 1)
[ -n "$help" ] && [ -n "$version" ] || { echo "$name : --help ou --version ne répond pas" >&2; exit 1; }

printf '%s\n' "$help" | awk -v name="$name" -v version="$version" -v date="$date" -v sections="$sections" '
function esc(s) {
  gsub(/\\/, "\\e", s)
  gsub(/-/, "\\-", s)
  if (s ~ /^[.\047]/) s = "\\&" s
  return s
}
# Bold the command words or the option that open an entry ("library add-day NOM", "--data-dir
# DOSSIER"), not their arguments.
function term(s,    n, i, w, words, out, bold) {
  n = split(s, w, " ")
  bold = 1
  out = ""
  for (i = 1; i <= n; i++) {
    if (bold && w[i] !~ /^(--)?[a-z][a-z-]*$/) bold = 0
    words = esc(w[i])
    if (bold) words = "\\fB" words "\\fR"
    out = out (i > 1 ? " " : "") words
  }
  return out
}
function text(s) {
  if (pending && !fresh) print ".PP"
  pending = 0
  fresh = 0
  print esc(s)
}
BEGIN {
  current = ""
  while ((getline line < sections) > 0) {
    if (line ~ /^\[[^]]+\]$/) {
      current = substr(line, 2, length(line) - 2)
      if (!(current in body)) order[++count] = current
      body[current] = ""
      continue
    }
    if (current != "") body[current] = body[current] line "\n"
  }
  close(sections)
  if (!("NOM" in body)) { print "help-to-man : section [NOM] absente de " sections > "/dev/stderr"; exit 1 }
  upper = toupper(name)
  gsub(/-/, "\\-", upper)
  printf ".TH %s 1 \"%s\" \"%s\" \"Commandes utilisateur\"\n", upper, date, esc(version)
  # The text is French; the default hyphenation patterns are English.
  print ".nh"
  # Characters a terminal without UTF-8 (LANG=C) has no glyph for, so that man never warns there.
  print ".fchar \\[u2026] ..."
  print ".fchar \\[u21E5] <tab>"
  print ".fchar \\[u2192] ->"
  print ".fchar \\[u2713] v"
  print ".SH NOM"
  printf "%s", body["NOM"]
  print ".SH SYNOPSIS"
  synopsis = 0
  described = 0
}
/^Utilisation : / {
  s = substr($0, length("Utilisation : ") + 1)
  split(s, w, " ")
  if (synopsis++) print ".br"
  print ".B " esc(w[1])
  print esc(substr(s, length(w[1]) + 2))
  next
}
{
  if (!described) {
    described = 1
    if ("DESCRIPTION" in body) { print ".SH DESCRIPTION"; printf "%s", body["DESCRIPTION"]; fresh = 1 }
  }
}
/^[ \t]*$/ { pending = 1; next }
/^[^ ].* :$/ { print ".SH " toupper(substr($0, 1, length($0) - 2)); pending = 0; fresh = 1; next }
# Each entry on its own line, its description below it however short the entry.
/^  [^ ]/ { sub(/^ +/, ""); print ".TP"; print term($0); print ".br"; pending = 0; fresh = 0; next }
/^    / { sub(/^ +/, ""); print esc($0); next }
{ text($0) }
END {
  if (!described && ("DESCRIPTION" in body)) { print ".SH DESCRIPTION"; printf "%s", body["DESCRIPTION"] }
  for (i = 1; i <= count; i++) {
    if (order[i] == "NOM" || order[i] == "DESCRIPTION") continue
    print ".SH " order[i]
    printf "%s", body[order[i]]
  }
}' > "$out.tmp"
mv "$out.tmp" "$out"
