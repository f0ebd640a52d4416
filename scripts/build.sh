#!/bin/bash
# Configures and builds into build/ (parallel). Assumes scripts/install-deps.sh has run.
# Arguments go to the configure step (for example: -DBRISOLA_SANITIZE=address,undefined).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
[ -x "$ROOT/scripts/fetch-engine.sh" ] && "$ROOT/scripts/fetch-engine.sh"
cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "$@" >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
