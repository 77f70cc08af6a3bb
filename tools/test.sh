#!/bin/bash
# Builds the project from this tree and runs every test. Expects the packages
# of tools/install-deps.sh. BUILD_DIR overrides the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}

echo "== format check"
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror "${sources[@]}"

echo "== build"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCEP_WERROR=ON
cmake --build "$BUILD_DIR" -j2

echo "== tests"
cd "$BUILD_DIR"
ctest --output-on-failure -j2 --timeout 900
