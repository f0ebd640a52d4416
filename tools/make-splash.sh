#!/bin/bash
# Draws content/qml/images/splash.png (500 x 350, the program's name in DejaVu Sans) with the
# make-splash tool of the build. Run after scripts/build.sh; the image is committed.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$here/build}"
cmake --build "$build" --target make-splash >/dev/null
mkdir -p "$here/content/qml/images"
QT_QPA_PLATFORM=offscreen "$build/bin/make-splash" /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf \
  "$here/content/qml/images/splash.png"
