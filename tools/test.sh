#!/bin/bash
# Builds the project from this tree and runs every test: the formatting and
# the include direction first, then a build with -Werror and the standard
# library's assertions and all its tests, then a build with AddressSanitizer
# and UndefinedBehaviorSanitizer and every test that does not apply the full
# release. Expects the packages of tools/install-deps.sh. BUILD_DIR overrides
# the build folder (the sanitizer build goes next to it, BUILD_DIR-asan);
# CEP_SKIP_SANITIZERS=1 leaves the sanitizer run out.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
ASAN_DIR=${BUILD_DIR}-asan

echo "== format check"
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror "${sources[@]}"

echo "== include direction"
tools/check-includes.sh

echo "== build"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCEP_WERROR=ON \
  -DCEP_ASSERTIONS=ON
cmake --build "$BUILD_DIR" -j2

echo "== tests"
(cd "$BUILD_DIR" && ctest --output-on-failure -j2 --timeout 900)

if [ "${CEP_SKIP_SANITIZERS:-0}" != 1 ]; then
  echo "== sanitizer build (address, undefined)"
  cmake -S . -B "$ASAN_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCEP_WERROR=ON \
    -DCEP_ASSERTIONS=ON -DCEP_SANITIZE=address,undefined -DCEP_BUILD_BENCH=OFF
  cmake --build "$ASAN_DIR" -j2

  echo "== sanitizer tests (all but the full-release runs)"
  (cd "$ASAN_DIR" && ctest --output-on-failure -j2 --timeout 900 -LE full)
fi
