#!/usr/bin/env bash
# Installs, with apt-get, whatever part of Tavrin's build, test and fixture stack is missing.
# Idempotent: when every package is present it only asks dpkg and exits.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config git make ccache
  # tests, benchmarks, fuzzing
  googletest libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
  # application framework
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-webengine-dev qt6-webengine-dev-tools
  qt6-qpa-plugins libqt6svg6 libgl-dev
  # French texts of the print dialogs, which are Qt's own
  qt6-translations-l10n
  # programme readers, images, video thumbnails, discovery, open-with, QR codes
  zlib1g-dev libpoppler-cpp-dev libvips-dev libffmpegthumbnailer-dev
  libavahi-client-dev avahi-daemon avahi-utils dbus libglib2.0-dev libcups2-dev libqrencode-dev
  # headless display, fonts and icons for the window tests and screenshots; a window manager
  # and real key and mouse events for the tests of the real window
  xvfb xauth fonts-dejavu-core adwaita-icon-theme openbox xdotool x11-utils
  # fixture producers and baselines of the comparison benchmarks
  libxlsxwriter-dev python3-openpyxl python3-reportlab python3-cairo poppler-utils
  libvips-tools imagemagick ffmpeg
  iproute2 btrfs-progs xfsprogs hyperfine time jq
  # the Debian package: icon rendering, validators, library dependencies, MIME database
  librsvg2-bin desktop-file-utils appstream dpkg-dev shared-mime-info
  # a private print server with a PDF queue for the printing tests
  cups-daemon cups-client printer-driver-cups-pdf
  # the drivers of the dye-sublimation printers carried to shows, with their printer descriptions
  printer-driver-gutenprint
  # capture times of photos, and the reference reader their tests and benchmark compare with
  libexif-dev libimage-exiftool-perl
  # print pages and the showcase poster written as PDF by cairo (JPEG photos embedded as they are)
  libcairo2-dev
  # the server core of the hand-over and the showcase, its browser test and load test
  libmicrohttpd-dev chromium chromium-driver python3-selenium
  # saved programme pages parsed the way a browser builds them
  libgumbo-dev
  # the package's checks: Debian's policy checker and a clean base system to install it in
  lintian debootstrap
  # the reception: the cameras' FTP server run as a child, verified copies, memory cards (exFAT
  # images mounted through FUSE in the tests), ejection where the desktop runs udisks2, and the
  # FTP clients of the tests
  python3-pyftpdlib libxxhash-dev exfat-fuse exfatprogs udisks2 curl
  # the data folder's database of what grows with the show (remembered copies, received photos,
  # payments)
  libsqlite3-dev
  # the day's takings exported as CSV, opened by a spreadsheet as an accountant would
  libreoffice-calc-nogui
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}" >&2
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
