#!/bin/bash
# The window on the sample database: builds cep-atualiza-gui, creates
# build/sample/lumexbd.fdb unless it exists (--force makes it anew), and opens
# the window with that path proposed, the way the maker's settings propose
# one: build/sample/xdg/Morvalex/QuelmarPref.conf names build/sample as the
# root folder, whose Quelmar.ini has the path, and build/sample/xdg comes
# first in XDG_CONFIG_DIRS. "Atualiza" then applies the release the program
# carries through the embedded engine. Needs a display. Expects the packages
# of tools/install-deps.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
FORCE=0
[ "${1:-}" = --force ] && FORCE=1

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" -j2 --target cep-atualiza-gui

SAMPLE_DIR="$(mkdir -p "$BUILD_DIR/sample" && cd "$BUILD_DIR/sample" && pwd)"
DATABASE="$SAMPLE_DIR/lumexbd.fdb"
if [ "$FORCE" = 1 ] || [ ! -e "$DATABASE" ]; then
  tools/make-sample-db.sh --force "$DATABASE"
fi
mkdir -p "$SAMPLE_DIR/xdg/Morvalex"
printf 'RootDirectory=%s\n' "$SAMPLE_DIR" >"$SAMPLE_DIR/xdg/Morvalex/QuelmarPref.conf"
printf '[SERVER]\nPATH=%s\n' "$DATABASE" >"$SAMPLE_DIR/Quelmar.ini"

echo "Opening the window on $DATABASE"
XDG_CONFIG_DIRS="$SAMPLE_DIR/xdg:${XDG_CONFIG_DIRS:-/etc/xdg}" exec "$BUILD_DIR/startup/cep-atualiza-gui"
