#!/bin/bash
# Fetches the pinned notation engine (the GUIDO engine's WebAssembly build) into third_party/guidolib/.
# Quiet and idempotent: does nothing when the pinned version is already extracted.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
PKG=@grame/guidolib
VERSION=1.7.82
DEST=$ROOT/third_party/guidolib
STAMP=$DEST/package/.fetched-$VERSION

[ -f "$STAMP" ] && exit 0
command -v npm >/dev/null || { echo "fetch-engine: npm is missing (run scripts/install-deps.sh)" >&2; exit 1; }

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
(cd "$TMP" && npm pack --silent "$PKG@$VERSION" >/dev/null)
TGZ=$(ls "$TMP"/*.tgz)
rm -rf "$DEST/package"
mkdir -p "$DEST"
tar -xzf "$TGZ" -C "$DEST"
for f in libGUIDOEngine.js libGUIDOEngine.wasm guido2-webfont/guido2-webfont.woff2; do
  [ -f "$DEST/package/$f" ] || { echo "fetch-engine: $f missing from $PKG@$VERSION" >&2; exit 1; }
done
touch "$STAMP"
