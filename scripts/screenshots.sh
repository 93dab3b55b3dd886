#!/usr/bin/env bash
# Renders the window's main states (empty, filled, dark, the organised workspace, following the photos, Paniers, Commandes with and without the crop editor, the crop editor alone and with its frame beyond the photo, a refused run, the QR hand-over, the print menu of a dye-sub printer, the window on a 1280 × 720 laptop) to docs/screenshots/*.png with the
# offscreen platform. Run through `make screenshots`, which builds the release first. The pictures
# are the same bytes on every run (fixed dates and time zone, no dependence on the machine's
# network services), so the tree stays clean unless the window itself changed.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build/release}
QT_QPA_PLATFORM=offscreen "$build/bin/tavrin-screenshots" docs/screenshots
ls docs/screenshots/*.png
