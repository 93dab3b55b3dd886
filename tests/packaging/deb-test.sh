#!/bin/sh
# Packs the build tree as `make package` does, unpacks the .deb into a scratch root with dpkg -x
# and checks what a user would get: programs that run from there, the modules (page engine, PDF
# text, commands) and the subsystems' libraries where the programs look for them, the launcher, the MIME type, the icons, the
# metainfo and the man pages; then lintian, which must report no error and no warning.
set -u
build=$1 version=$2 deb_version=$3 appstream_id=$4
fail() { echo "ÉCHEC : $*" >&2; exit 1; }

for tool in cpack dpkg-deb dpkg-shlibdeps vips vipsheader; do
  command -v $tool >/dev/null 2>&1 || { echo "$tool absent : test ignoré" >&2; exit 77; }
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; fail "cpack a échoué"; }
deb=$scratch/out/tavrin_${deb_version}_amd64.deb
[ -f "$deb" ] || fail "pas de $deb ; cpack a produit : $(ls "$scratch/out")"

# Control fields: dependencies computed from the binaries, plus what is started rather than linked.
[ "$(dpkg-deb -f "$deb" Package)" = tavrin ] || fail "nom de paquet"
[ "$(dpkg-deb -f "$deb" Version)" = "$deb_version" ] || fail "version du paquet"
[ "$(dpkg-deb -f "$deb" Architecture)" = amd64 ] || fail "architecture du paquet"
depends=$(dpkg-deb -f "$deb" Depends)
duplicates=$(printf '%s\n' "$depends" | tr ',' '\n' | sed 's/^ *//; s/ .*//' | sort | uniq -d)
[ -z "$duplicates" ] || fail "Depends cite deux fois : $duplicates"
for dep in libc6 libqt6widgets6 libvips42 libpoppler-cpp libgumbo libqt6webenginewidgets6 libqt6webenginecore6-bin libqt6svg6 libexif12 libmicrohttpd12 libcairo2 python3-pyftpdlib libxxhash0 libsqlite3-0; do
  case ", $depends" in *", $dep"*) ;; *) fail "Depends ne contient pas $dep : $depends" ;; esac
done

root=$scratch/root
dpkg -x "$deb" "$root" || fail "dpkg -x a échoué"
# Everything lives under /usr, and only the two programs are in the path.
[ "$(ls "$root")" = usr ] || fail "fichiers hors de /usr : $(ls "$root")"
[ "$(ls "$root/usr/bin" | tr '\n' ' ')" = "tavrin tavrin-cli " ] || fail "programmes : $(ls "$root/usr/bin")"

for module in tavrin_webengine tavrin_pdf tavrin_video tavrin_commands; do
  [ -f "$(echo "$root"/usr/lib/*/tavrin/$module.so)" ] || fail "module $module.so absent de <libdir>/tavrin"
done
libraries=$(ls "$root"/usr/lib/*/tavrin/libtavrin_*.so 2>/dev/null)
for subsystem in base library programme organizer editing orders app; do
  printf '%s\n' "$libraries" | grep -q "/libtavrin_$subsystem.so$" || fail "libtavrin_$subsystem.so absente de <libdir>/tavrin"
done
# The programs find the subsystems in <libdir>/tavrin, the libraries and modules there find their
# neighbours: the only search paths are these, relative to the file. A path of the build tree would
# make the installed program load the build's libraries.
for program in "$root/usr/bin/tavrin" "$root/usr/bin/tavrin-cli" "$root"/usr/lib/*/tavrin/*.so; do
  [ -f "$program" ] || fail "$program manque"
  ! ldd "$program" | grep -q 'not found' || fail "$program : bibliothèque introuvable : $(ldd "$program" | grep 'not found')"
  ! readelf -d "$program" | grep -q '(RPATH)' || fail "$program a un RPATH (et non un RUNPATH) : $(readelf -d "$program" | grep PATH)"
  runpath=$(readelf -d "$program" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]$/\1/p')
  case "$program" in
    "$root"/usr/bin/*) expected='^\$ORIGIN/\.\./lib/[a-z0-9_-]+/tavrin$' ;;
    *) expected='^\$ORIGIN$' ;;
  esac
  # The page engine and the video module need none of Tavrin's libraries.
  case "$program" in */tavrin_webengine.so|*/tavrin_video.so|*/libtavrin_lazy_vips.so) [ -z "$runpath" ] && continue ;; esac
  printf '%s\n' "$runpath" | grep -Eq "$expected" || fail "$program : RUNPATH « $runpath » au lieu de $expected"
done

[ "$("$root/usr/bin/tavrin-cli" --version)" = "tavrin-cli $version" ] || fail "tavrin-cli --version"
[ "$("$root/usr/bin/tavrin" --version)" = "Tavrin $version" ] || fail "tavrin --version"
# The stripped program still does real work on a data folder of its own.
data=$scratch/data
day=$("$root/usr/bin/tavrin-cli" --data-dir "$data" library add-day "Samedi 14 juin") || fail "library add-day"
"$root/usr/bin/tavrin-cli" --data-dir "$data" library show | grep -q "$day" || fail "library show ne montre pas le jour créé"
# A command of the commands module, found where the package puts it.
vips black "$scratch/photo.jpg" 64 48 || fail "vips black"
"$root/usr/bin/tavrin-cli" --data-dir "$data" thumbnail "$scratch/photo.jpg" --size 32 --out "$scratch/thumb.png" ||
  fail "thumbnail avec le module installé"
[ "$(vipsheader -f width "$scratch/thumb.png")" = 32 ] || fail "vignette de la mauvaise taille"

share=$root/usr/share
desktop=$share/applications/$appstream_id.desktop
[ -f "$desktop" ] || fail "lanceur absent"
grep -q '^MimeType=.*application/x-tavrin;' "$desktop" || fail "le lanceur n’ouvre pas les fichiers .tavrin"
[ -f "$share/metainfo/$appstream_id.metainfo.xml" ] || fail "metainfo absente"
grep -q 'type="application/x-tavrin"' "$share/mime/packages/tavrin.xml" || fail "type MIME absent"
# The MIME database built from the package maps the extension to the type.
if command -v update-mime-database >/dev/null 2>&1; then
  update-mime-database "$share/mime" >"$scratch/mime.log" 2>&1 ||
    { cat "$scratch/mime.log" >&2; fail "update-mime-database refuse tavrin.xml"; }
  grep -q 'application/x-tavrin:\*\.tavrin' "$share/mime/globs2" || fail "*.tavrin n’est pas associé au type"
fi

# Icons: every size, square, transparent around the rounded square, blue on its left band and
# white on the sheet it draws (a renderer that loses the gradient paints it black).
[ -f "$share/icons/hicolor/scalable/apps/tavrin.svg" ] || fail "icône SVG absente"
for size in 16 24 32 48 64 128 256 512; do
  png=$share/icons/hicolor/${size}x${size}/apps/tavrin.png
  [ -f "$png" ] || fail "icône $size absente"
  [ "$(vipsheader -f width "$png")x$(vipsheader -f height "$png")" = "${size}x${size}" ] || fail "icône $size : mauvaise taille"
  set -- $(vips getpoint "$png" 0 0)
  [ "${4:-255}" -eq 0 ] || fail "icône $size : coin opaque ($*)"
  set -- $(vips getpoint "$png" $((size * 36 / 256)) $((size / 2)))
  [ "$3" -gt 150 ] && [ "$1" -lt 100 ] && [ "$4" -eq 255 ] || fail "icône $size : le fond n’est pas bleu ($*)"
  set -- $(vips getpoint "$png" $((size * 80 / 256)) $((size * 112 / 256)))
  [ "$1" -gt 220 ] && [ "$2" -gt 220 ] && [ "$3" -gt 220 ] || fail "icône $size : la feuille n’est pas blanche ($*)"
done

# Man pages: compressed, and rendered without warning with what each --help lists.
for page in tavrin tavrin-cli; do
  gz=$share/man/man1/$page.1.gz
  gzip -t "$gz" 2>/dev/null || fail "$gz absente ou illisible"
  gzip -dc "$gz" | grep -q '^\.SH SYNOPSIS' || fail "$page.1 sans synopsis"
done
gzip -dc "$share/man/man1/tavrin-cli.1.gz" | grep -q 'library\\fR \\fBadd\\-day' || fail "tavrin-cli.1 ne liste pas les commandes"
if command -v man >/dev/null 2>&1; then
  for page in tavrin tavrin-cli; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page.1 : $warnings"
  done
fi
# The licence and the package's history, where Debian looks for them.
grep -q '^License: GPL-3+' "$share/doc/tavrin/copyright" || fail "copyright absent ou sans licence"
gzip -dc "$share/doc/tavrin/changelog.Debian.gz" | head -n 1 | grep -q "^tavrin ($deb_version)" ||
  fail "changelog.Debian ne commence pas par la version $deb_version"

# Debian's policy checker: no error, no warning (information notes are not faults).
if command -v lintian >/dev/null 2>&1; then
  lintian --fail-on none "$deb" >"$scratch/lintian.log" 2>&1
  if grep -Eq '^[EW]: ' "$scratch/lintian.log"; then
    grep -E '^[EW]: ' "$scratch/lintian.log" >&2
    fail "lintian signale des erreurs ou des avertissements"
  fi
else
  echo "lintian absent (paquet lintian) : vérification de la politique Debian ignorée" >&2
fi
echo "ok : $(basename "$deb")"
