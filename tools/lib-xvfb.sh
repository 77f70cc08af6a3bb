# shellcheck shell=bash
# A private X server for the scripts that run the window on a real display
# (tools/screenshots.sh, bench/bench-window.sh). Source it, then:
#
#   xvfb_start FOLDER   starts Xvfb on a free display (its log in FOLDER) and
#                       exports DISPLAY
#   xvfb_stop           stops it

XVFB_PID=""

xvfb_start() {
  local folder=$1
  # Xvfb picks a free display and writes its number to fd 3.
  Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$folder/display" 2>"$folder/xvfb.log" &
  XVFB_PID=$!
  for _ in $(seq 100); do
    [ -s "$folder/display" ] && break
    sleep 0.1
  done
  if [ ! -s "$folder/display" ]; then
    echo "Xvfb did not start:" >&2
    cat "$folder/xvfb.log" >&2
    return 1
  fi
  DISPLAY=:$(cat "$folder/display")
  export DISPLAY
}

xvfb_stop() {
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=""
  fi
}
