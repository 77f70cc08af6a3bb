#!/bin/bash
# Builds the Debian package cep-atualiza_VERSION_ARCH.deb: a build for /usr
# in a folder of its own (RelWithDebInfo, the build the tests run; cpack
# strips the programs), then cpack. Expects the packages of
# tools/install-deps.sh.
#
#   tools/make-package.sh [OUT_DIR]
#
# OUT_DIR (default build-package/out) receives the package.
# PACKAGE_BUILD_DIR overrides the build folder (default build-package).
# Install the package with: apt install ./OUT_DIR/cep-atualiza_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${PACKAGE_BUILD_DIR:-build-package}
OUT_DIR=$(realpath -m "${1:-$BUILD_DIR/out}")

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_INSTALL_PREFIX=/usr -DCEP_BUILD_TESTS=OFF -DCEP_BUILD_BENCH=OFF
cmake --build "$BUILD_DIR" -j2
mkdir -p "$OUT_DIR"
(cd "$BUILD_DIR" && cpack -G DEB -B "$OUT_DIR")
rm -rf "$OUT_DIR/_CPack_Packages"
ls "$OUT_DIR"/cep-atualiza_*.deb
