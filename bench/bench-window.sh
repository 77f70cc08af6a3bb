#!/bin/bash
# The release carried inside the program, applied through the window and
# through the command line, in turns, each run on a fresh sample database
# (embedded engine): prints every run's time and processor time, the means,
# and the ratios window / command line: of the mean times, the median of the
# pairs' ratios (the figure a passing load on the shared machine moves
# least), and of the processor times.
#
#   bench/bench-window.sh [PAIRS [FOLDER]]      (default 3 pairs, /tmp)
#
# FOLDER holds the databases and the temporary files; /dev/shm (memory) keeps
# the disk, which other work on a shared machine may be using, out of the
# figures.
#
# The window is the real main window on a real X server (Xvfb), driven by
# tests/ui/window_driver.cpp: it presses Atualiza on the window's button and
# answers the final box. Each time is the whole process, from its start to
# its end, as the shell sees it; the window's own figure (from the press of
# Atualiza to the final box) is printed beside it. The pairs alternate which
# goes first, so that a drift of the machine's load falls on both. Expects
# the packages of tools/install-deps.sh; BUILD_DIR overrides the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
PAIRS=${1:-3}
FOLDER=${2:-/tmp}

cmake --build "$BUILD_DIR" --target cep-atualiza cep_window_driver >/dev/null

WORK=$(mktemp -d "$FOLDER/bench-window.XXXXXX")
mkdir -p "$WORK/work"
DATABASE=$WORK/lumexbd.fdb
# shellcheck source=tools/lib-xvfb.sh
. tools/lib-xvfb.sh
cleanup() {
  xvfb_stop
  rm -rf "$WORK"
}
trap cleanup EXIT
xvfb_start "$WORK"

# run_once window|cli: one run on a fresh database; sets WALL and CPU (user
# plus system) in seconds, as bash's time keyword reports them.
TIMEFORMAT='%R %U %S'
run_once() {
  tools/make-sample-db.sh --force "$DATABASE" >/dev/null
  sync
  local status=0
  if [ "$1" = window ]; then
    { time QT_QPA_PLATFORM=xcb "$BUILD_DIR/tests/cep_window_driver" run "$DATABASE" \
      "$WORK/work" >"$WORK/out" 2>"$WORK/err" || status=$?; } 2>"$WORK/time"
  else
    { time "$BUILD_DIR/cli/cep-atualiza" --work-dir "$WORK/work" "$DATABASE" \
      >"$WORK/out" 2>"$WORK/err" || status=$?; } 2>"$WORK/time"
  fi
  if [ "$status" != 0 ] || ! grep -q "1054501 Registros atualizados" "$WORK/out"; then
    echo "$1: the release was not applied (status $status):" >&2
    cat "$WORK/out" "$WORK/err" >&2
    exit 1
  fi
  read -r WALL user system <"$WORK/time"
  CPU=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')
}

window_wall=() window_cpu=() cli_wall=() cli_cpu=() ratios=()
for pair in $(seq "$PAIRS"); do
  if [ $((pair % 2)) = 1 ]; then order="window cli"; else order="cli window"; fi
  for what in $order; do
    run_once "$what"
    if [ "$what" = window ]; then
      window_wall+=("$WALL") window_cpu+=("$CPU")
      pair_window=$WALL
      inside=$(sed -n 's/^window run: \([0-9.]*\) s$/\1/p' "$WORK/out")
      printf 'pair %d  window        %7.2f s  cpu %6.2f s  (Atualiza to the final box: %.2f s)\n' \
        "$pair" "$WALL" "$CPU" "$inside"
    else
      cli_wall+=("$WALL") cli_cpu+=("$CPU")
      pair_cli=$WALL
      printf 'pair %d  command line  %7.2f s  cpu %6.2f s\n' "$pair" "$WALL" "$CPU"
    fi
  done
  ratios+=("$(awk -v w="$pair_window" -v c="$pair_cli" 'BEGIN { printf "%.3f", w / c }')")
done

mean() { printf '%s\n' "$@" | awk '{ s += $1 } END { printf "%.2f", s / NR }'; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
  printf "%.3f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
wm=$(mean "${window_wall[@]}") cm=$(mean "${cli_wall[@]}")
wc=$(mean "${window_cpu[@]}") cc=$(mean "${cli_cpu[@]}")
printf 'mean    window        %7.2f s  cpu %6.2f s\n' "$wm" "$wc"
printf 'mean    command line  %7.2f s  cpu %6.2f s\n' "$cm" "$cc"
printf 'ratio   window / command line: %s (means), %s (median of the pairs), cpu %s\n' \
  "$(ratio "$wm" "$cm")" "$(median "${ratios[@]}")" "$(ratio "$wc" "$cc")"
