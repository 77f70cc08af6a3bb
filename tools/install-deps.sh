#!/bin/sh
# Installs every Debian package the project needs to build, test and run.
# Idempotent and non-interactive; run as root (or through sudo).
# libinih-dev reads the maker's INI files; fonts-liberation2 is the window
# font; librsvg2-bin renders the icon's PNGs (tools/render-icon.sh, by hand);
# help2man writes the manual page from --help, in the pt_BR locale compiled
# from the sources in locales; dpkg-dev (dpkg-shlibdeps) works out the
# Debian package's dependencies; desktop-file-utils checks the desktop entry;
# util-linux (setpriv) runs the package test as an unprivileged user, which
# also reads the package with file and man-db.
# qt6-translations-l10n puts Qt's own texts (message-box buttons, the
# open-file dialog) into Portuguese; xvfb and jwm give the window a display
# and title bars for its pictures and its benchmark (tools/screenshots.sh,
# bench/bench-window.sh).
set -eu

PACKAGES="
  build-essential cmake ninja-build pkg-config clang-format
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  firebird-dev libfbclient2 firebird3.0-server firebird3.0-utils
  libzstd-dev zstd nlohmann-json3-dev
  python3
  qt6-base-dev qt6-translations-l10n xvfb xauth jwm
  libinih-dev fonts-liberation2
  librsvg2-bin
  help2man locales dpkg-dev desktop-file-utils util-linux file man-db
"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

export DEBIAN_FRONTEND=noninteractive
# The server package must not start the system-wide service: tests run a
# private server of their own.
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
  $SUDO chmod +x /usr/sbin/policy-rc.d
  REMOVE_POLICY=1
fi
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $PACKAGES
if [ "${REMOVE_POLICY:-0}" = 1 ]; then $SUDO rm -f /usr/sbin/policy-rc.d; fi
