#!/bin/bash
# The main job on its embedded default: builds the command-line front end,
# creates a sample target database and updates it with the release the
# program carries. Expects the packages of tools/install-deps.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD_DIR" -j2 --target cep-atualiza

SAMPLE_DIR="$BUILD_DIR/sample"
mkdir -p "$SAMPLE_DIR"
DATABASE="$(cd "$SAMPLE_DIR" && pwd)/lumexbd.fdb"
tools/make-sample-db.sh --force "$DATABASE"
echo "Updating $DATABASE"
"$BUILD_DIR/cli/cep-atualiza" --work-dir "$SAMPLE_DIR" "$@" "$DATABASE"
