#!/bin/bash
# Builds Brisola and starts it (installs what is missing first, as root). Arguments go to the program.
# Without any sound device the program runs on private virtual ones (scripts/with-sound-device.sh).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/install-deps.sh"
# The program opens a window; without a display the toolkit would abort after the build.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "run-app: no display (DISPLAY is not set); start it from a desktop session or under xvfb-run" >&2
  exit 1
fi
"$ROOT/scripts/build.sh"
exec "$ROOT/scripts/with-sound-device.sh" "${BUILD_DIR:-$ROOT/build}/bin/brisola" "$@"
