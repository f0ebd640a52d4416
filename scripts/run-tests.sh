#!/bin/bash
# Builds Brisola and runs every test on a fresh Debian 12 machine (installs what is missing, as root).
# Extra arguments go to ctest (for example: -L audio).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/install-deps.sh" --tests
"$ROOT/scripts/build.sh"
source "$ROOT/scripts/test-env.sh"
cd "${BUILD_DIR:-$ROOT/build}"
ctest --output-on-failure -j"$(nproc)" --timeout 300 "$@"
