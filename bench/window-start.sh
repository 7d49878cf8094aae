#!/usr/bin/env bash
# How long each window takes from its start to its window on the screen: the
# Qt window on Linux (build/release or build/dev) against corvexlink.exe under
# wine (build/windows, from tools/windows-build.sh), on one virtual X display,
# each started RUNS times (default 5) after one start that warms the caches.
# The window counts as shown once the X server has its window, with its title, mapped.
#   bench/window-start.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-5}"
qt_exe="build/release/src/app/corvexlink"
[ -x "$qt_exe" ] || qt_exe="build/dev/src/app/corvexlink"
win_exe="build/windows/src/win/corvexlink.exe"
driver="build/windows/tests/corvexlink-window-driver.exe"
for f in "$qt_exe" "$win_exe" "$driver"; do [ -e "$f" ] || { echo "missing $f: build it first"; exit 1; }; done

work="$(mktemp -d)"
export WINEPREFIX="$work/wine" WINEDEBUG=-all XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'wineserver -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
exec 3>&-
export DISPLAY=":$(head -1 "$work/display")"
mkdir -p "$WINEPREFIX"
wineserver -p
wineboot -i </dev/null >/dev/null 2>&1

title="TMS320F283x DSP Programmer Ver1.0 - Quillon"
shown() { xwininfo -name "$title" 2>/dev/null | grep -q IsViewable; }
gone() { ! xwininfo -name "$title" >/dev/null 2>&1; }
time_start() {  # COMMAND... : milliseconds from the start to the window shown; then closes it
  local start pid
  start=$(date +%s%N)
  "$@" </dev/null >/dev/null 2>&1 &
  pid=$!
  until shown; do sleep 0.005; done
  echo $((($(date +%s%N) - start) / 1000000))
  if [ "$1" = wine ]; then wine "$driver" close </dev/null >/dev/null 2>&1; else kill "$pid"; fi
  wait "$pid" 2>/dev/null || true
  until gone; do sleep 0.05; done
  sleep 0.5  # the single-instance lock is let go
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

QT_QPA_PLATFORM=xcb time_start "$qt_exe" >/dev/null
qt=$(for _ in $(seq "$runs"); do QT_QPA_PLATFORM=xcb time_start "$qt_exe"; done | median)
time_start wine "$win_exe" >/dev/null
win=$(for _ in $(seq "$runs"); do time_start wine "$win_exe"; done | median)
# The baseline under wine: a program that starts and ends at once (wine's own start-up).
bare=$(for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  wine "$driver" none </dev/null >/dev/null 2>&1 || true
  echo $((($(date +%s%N) - start) / 1000000))
done | median)
echo "start to window shown, median of $runs: Qt on Linux $qt ms, corvexlink.exe under wine $win ms" \
  "(a wine program that only starts and ends: $bare ms)"
