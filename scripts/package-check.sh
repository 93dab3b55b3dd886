#!/usr/bin/env bash
# Installs the Debian package as a user would, in a clean Debian 12 system, and checks it there:
#   package-check.sh [PAQUET.deb]     (default: the newest build/release/tavrin_*_amd64.deb)
# The clean system is made by debootstrap from Debian's archive (about 400 MB with the package's
# dependencies), so this is no part of `make test`. In it: apt installs the package, tavrin-cli
# makes the demonstration, plans and organises a spreadsheet, the window starts and shows itself
# under Xvfb, then the package is purged and nothing of it may remain. lintian checks the package.
# Needs root (debootstrap, chroot); asks sudo otherwise.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
suite=bookworm
mirror=${TAVRIN_CHECK_MIRROR:-http://deb.debian.org/debian}
deb=${1:-$(ls -t "$here"/build/release/tavrin_*_amd64.deb 2>/dev/null | head -n 1 || true)}

say() { printf 'package-check : %s\n' "$*" >&2; }
fail() { say "ÉCHEC : $*"; exit 1; }

[ -n "$deb" ] && [ -f "$deb" ] || fail "aucun paquet à vérifier ; faites d’abord « make package » (ou donnez le .deb)."
deb=$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")
for tool in debootstrap chroot jq lintian; do
  command -v $tool >/dev/null 2>&1 || fail "$tool manque ; lancez scripts/install-deps.sh."
done
if [ "$(id -u)" -ne 0 ]; then
  exec sudo --preserve-env=TAVRIN_CHECK_MIRROR,http_proxy,https_proxy "$0" "$deb"
fi

# Without the archive there is nothing to install from: say so rather than fail half-way.
if ! wget -q -T 20 -O /dev/null "$mirror/dists/$suite/Release"; then
  say "l’archive Debian ($mirror) est injoignable depuis cette machine :"
  say "le paquet n’a pas pu être installé dans un système Debian 12 propre. Rien n’a été vérifié."
  exit 2
fi

root=$(mktemp -d /tmp/tavrin-package-check.XXXXXX)
# apt downloads as its own user, who must reach the root's folders.
chmod 755 "$root"
mounted=()
cleanup() {
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" 2>/dev/null || true; done
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT INT TERM
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
  DEBIAN_FRONTEND=noninteractive "$@"; }

say "système Debian 12 de base dans $root (debootstrap, quelques minutes)…"
debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$root.debootstrap.log" 2>&1 ||
  { tail -n 20 "$root.debootstrap.log" >&2; rm -f "$root.debootstrap.log"; fail "debootstrap a échoué"; }
rm -f "$root.debootstrap.log"
for fs in proc sys dev dev/pts; do
  case $fs in
    proc) mount -t proc proc "$root/proc" ;;
    sys) mount -t sysfs sys "$root/sys" ;;
    dev) mount --bind /dev "$root/dev" ;;
    dev/pts) mount --bind /dev/pts "$root/dev/pts" ;;
  esac
  mounted+=("$root/$fs")
done
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true

# What the check itself needs is installed first, so that the system before the package is the
# reference against which its removal is judged.
in_root apt-get update -qq
in_root apt-get install -y -qq --no-install-recommends xvfb xauth >/dev/null 2>&1 || fail "apt n’a pas pu installer Xvfb"
in_root dpkg-query -W -f '${Package}\n' | sort >"$root/tmp/before-packages"
(cd "$root" && find . -xdev \( -path ./tmp -o -path ./proc -o -path ./sys -o -path ./dev -o -path ./run \
  -o -path ./var/cache -o -path ./var/lib/apt -o -path ./var/lib/dpkg -o -path ./var/log \) -prune -o -print | sort) \
  >"$root/tmp/before-files"

say "installation de $(basename "$deb") avec apt…"
cp "$deb" "$root/tmp/tavrin.deb"
in_root apt-get install -y -qq --no-install-recommends /tmp/tavrin.deb >"$root/tmp/install.log" 2>&1 ||
  { tail -n 30 "$root/tmp/install.log" >&2; fail "apt n’a pas pu installer le paquet"; }

# The programs keep their user files under a home of the check's own, removed with it.
cli() { in_root env HOME=/tmp/check/home /usr/bin/tavrin-cli "$@"; }
version=$(cli --version) || fail "tavrin-cli --version"
say "installé : $version"

say "tavrin-cli demo, plan, organize…"
cli demo /tmp/check/demo >"$root/tmp/demo.log" 2>&1 || { cat "$root/tmp/demo.log" >&2; fail "tavrin-cli demo"; }
data=/tmp/check/demo/TAVRIN
sheet=$(cli --data-dir "$data" library show | jq -r '.spreadsheets[0].id') || fail "tavrin-cli library show"
[ -n "$sheet" ] && [ "$sheet" != null ] || fail "la démonstration n’a pas de tableur"
plan=$(cli --data-dir "$data" plan --spreadsheet "$sheet") || fail "tavrin-cli plan"
[ "$(printf '%s' "$plan" | jq -r '.canRun')" = true ] || fail "le plan de la démonstration ne peut pas s’exécuter"
groups=$(printf '%s' "$plan" | jq '.groups | length')
report=$(cli --data-dir "$data" organize --spreadsheet "$sheet") || fail "tavrin-cli organize"
copied=$(printf '%s' "$report" | jq '.copied | length')
[ "$copied" -gt 0 ] || fail "organize n’a copié aucune photo : $report"
folder=$(printf '%s' "$plan" | jq -r '.groups[0].folderName')
[ -n "$(ls "$root/tmp/check/demo/Cavaliers/$folder" 2>/dev/null)" ] || fail "le dossier « $folder » est vide"
say "plan : $groups groupes ; organize : $copied photos copiées"

say "démarrage de la fenêtre sous Xvfb…"
in_root env TAVRIN_QUIT_WHEN_SHOWN=1 HOME=/tmp/check/home xvfb-run -a -s '-screen 0 1280x720x24' \
  timeout 120 /usr/bin/tavrin --data-dir "$data" >"$root/tmp/window.log" 2>&1 ||
  { cat "$root/tmp/window.log" >&2; fail "la fenêtre ne s’est pas affichée"; }

say "lintian…"
lintian --fail-on none "$deb" >"$root/tmp/lintian.log" 2>&1 || true
if grep -Eq '^[EW]: ' "$root/tmp/lintian.log"; then
  grep -E '^[EW]: ' "$root/tmp/lintian.log" >&2
  fail "lintian signale des erreurs ou des avertissements"
fi

say "suppression du paquet…"
in_root dpkg -L tavrin | sort >"$root/tmp/package-files"
rm -rf "$root/tmp/check"
in_root apt-get purge -y -qq tavrin >/dev/null || fail "apt-get purge tavrin"
in_root apt-get autoremove --purge -y -qq >/dev/null || fail "apt-get autoremove"
in_root dpkg-query -W -f '${Package}\n' | sort >"$root/tmp/after-packages"
diff "$root/tmp/before-packages" "$root/tmp/after-packages" >&2 ||
  fail "les paquets installés ne sont plus ceux d’avant le paquet"
(cd "$root" && find . -xdev \( -path ./tmp -o -path ./proc -o -path ./sys -o -path ./dev -o -path ./run \
  -o -path ./var/cache -o -path ./var/lib/apt -o -path ./var/lib/dpkg -o -path ./var/log \) -prune -o -print | sort) \
  >"$root/tmp/after-files"
left=$(comm -13 "$root/tmp/before-files" "$root/tmp/after-files")
[ -z "$left" ] || { printf '%s\n' "$left" >&2; fail "des fichiers restent après la suppression"; }
while IFS= read -r file; do
  [ -d "$root$file" ] || [ ! -e "$root$file" ] || fail "$file reste après la suppression"
done <"$root/tmp/package-files"

say "ok : $(basename "$deb") s’installe, fonctionne et se retire proprement dans Debian 12."
