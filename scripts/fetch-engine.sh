#!/bin/bash
# Fetches the pinned notation engine (the GUIDO engine's WebAssembly build) into third_party/guidolib/.
# Quiet and idempotent: does nothing when the pinned version is complete. A partial earlier fetch is
# replaced; parallel runs (several build folders) wait for each other.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
PKG=@grame/guidolib
VERSION=1.7.82
DEST=$ROOT/third_party/guidolib
STAMP=$DEST/package/.fetched-$VERSION
FILES="libGUIDOEngine.js libGUIDOEngine.wasm guido2-webfont/guido2-webfont.woff2"

complete() {
  [ -f "$STAMP" ] || return 1
  for f in $FILES; do [ -s "$DEST/package/$f" ] || return 1; done
}

complete && exit 0
command -v npm >/dev/null || { echo "fetch-engine: npm is missing (run scripts/install-deps.sh)" >&2; exit 1; }
mkdir -p "$DEST"
exec 9>"$DEST/.lock"
flock 9
complete && exit 0  # another run finished it meanwhile

TMP=$(mktemp -d "$DEST/.fetch.XXXXXX")
trap 'rm -rf "$TMP"' EXIT
# The user's npm cache first; a private one when that cache is missing, broken or not writable.
if ! (cd "$TMP" && npm pack --loglevel=error "$PKG@$VERSION" >/dev/null 2>"$TMP/npm.log") &&
   ! (cd "$TMP" && npm pack --loglevel=error --cache "$TMP/cache" "$PKG@$VERSION" >/dev/null 2>>"$TMP/npm.log"); then
  echo "fetch-engine: npm pack $PKG@$VERSION failed" >&2
  cat "$TMP/npm.log" >&2
  exit 1
fi
mkdir "$TMP/x"
tar -xzf "$TMP"/*.tgz -C "$TMP/x"
for f in $FILES; do
  [ -s "$TMP/x/package/$f" ] || { echo "fetch-engine: $f missing from $PKG@$VERSION" >&2; exit 1; }
done
touch "$TMP/x/package/.fetched-$VERSION"
# Swap the complete package in whole, so no reader ever sees half of one.
rm -rf "$DEST/package.old"
[ -e "$DEST/package" ] && mv "$DEST/package" "$DEST/package.old"
mv "$TMP/x/package" "$DEST/package"
rm -rf "$DEST/package.old"
