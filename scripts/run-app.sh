#!/bin/bash
# Builds Brisola and starts it (installs what is missing first, as root). Arguments go to the program.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/install-deps.sh"
"$ROOT/scripts/build.sh"
exec "${BUILD_DIR:-$ROOT/build}/bin/brisola" "$@"
