#!/usr/bin/env bash
# Renders the window's main states (empty, filled, dark, the organised workspace, Paniers) to docs/screenshots/*.png with the
# offscreen platform. Run through `make screenshots`, which builds the release first.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build/release}
QT_QPA_PLATFORM=offscreen "$build/bin/tavrin-screenshots" docs/screenshots
ls docs/screenshots/*.png
