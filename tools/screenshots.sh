#!/bin/bash
# The README's pictures of the window: runs the real main window under Xvfb
# (a real X server) with a small window manager (jwm, for the title bars) on
# a sample database with a small release, and saves
# docs/screenshots/window-idle.png, window-staging.png, window-summary.png and
# about.png, grabbed from the X server's screen.
#
#   tools/screenshots.sh [OUTPUT_FOLDER]
#
# Expects the packages of tools/install-deps.sh (xvfb and jwm among them). BUILD_DIR
# overrides the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
OUT=${1:-docs/screenshots}
# A plain folder name, so that the pictures show a path anyone could have.
WORK=/tmp/cep-atualiza
# Enough records for a staging load of several seconds: the picture of it
# shows a remaining time.
RECORDS=400000

cmake --build "$BUILD_DIR" --target cep_window_driver cep_gen_release >/dev/null

rm -rf "$WORK"
mkdir -p "$WORK/release" "$OUT"
"$BUILD_DIR/tools/cep_gen_release" --out "$WORK/release" --records "$RECORDS" --seed 3 >/dev/null
tools/make-sample-db.sh --force "$WORK/lumexbd.fdb"

# shellcheck source=tools/lib-xvfb.sh
. tools/lib-xvfb.sh
WM=""
cleanup() {
  [ -z "$WM" ] || kill "$WM" 2>/dev/null || true
  xvfb_stop
  rm -rf "$WORK"
}
trap cleanup EXIT
xvfb_start "$WORK"

# Title bars in the colours of the platform the program comes from, on a
# plain desktop; no tray, no menus.
cat >"$WORK/jwmrc" <<'XML'
<?xml version="1.0"?>
<JWM>
  <WindowStyle decorations="flat">
    <Font>Liberation Sans-9:bold</Font>
    <Width>3</Width>
    <Height>20</Height>
    <Corner>0</Corner>
    <Foreground>#D4D0C8</Foreground>
    <Background>#808080</Background>
    <Outline>#404040</Outline>
    <Active>
      <Foreground>#FFFFFF</Foreground>
      <Background>#0A246A</Background>
      <Outline>#404040</Outline>
    </Active>
  </WindowStyle>
  <Desktops width="1" height="1">
    <Background type="solid">#3A6EA5</Background>
  </Desktops>
  <FocusModel>click</FocusModel>
</JWM>
XML
jwm -f "$WORK/jwmrc" 2>"$WORK/jwm.log" &
WM=$!
sleep 1

QT_QPA_PLATFORM=xcb \
  "$BUILD_DIR/tests/cep_window_driver" pictures "$OUT" "$WORK/lumexbd.fdb" "$WORK/release"
