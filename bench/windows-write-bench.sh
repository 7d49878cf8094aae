#!/usr/bin/env bash
# The Windows CLI under wine against the Linux CLI, each writing the whole
# F28335 flash but the password words (0x3FFF0 random words) into an emulated
# pod with the wire model and the pod-side times of bench/gang-bench.sh: the
# Windows CLI through a COM port wine maps to the emulator's terminal.
# Prints both wall times and their ratio (target: at most 1.10).
# Usage: bench/windows-write-bench.sh   (after tools/windows-build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
cli="$PWD/build/dev/src/cli/corvexlink-cli"
podsim="$PWD/build/dev/src/podsim/corvexlink-podsim"
exe="$PWD/build/windows/src/cli/corvexlink-cli.exe"
work=$(mktemp -d)
export WINEPREFIX="$work/wine" WINEDEBUG=-all XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_RUNTIME_DIR" "$WINEPREFIX"
trap 'wineserver -k 2>/dev/null || true; kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
wineserver -p >"$work/wineserver.log" 2>&1
wineboot -i </dev/null >"$work/wineboot.log" 2>&1

program="$work/full.bin"
head -c $((0x3FFF0 * 2)) /dev/urandom >"$program"
times=(--pod-time N=50 --pod-time K=200 --pod-time O00=20 --pod-time O01=250 --pod-time O02=1 --pod-time R=10)
"$podsim" --wire-model "${times[@]}" --serial BENCH >"$work/podsim.log" &
for _ in $(seq 50); do grep -q ' ready on ' "$work/podsim.log" && break; sleep 0.1; done
ln -sfn "$(sed -n 's/.* ready on //p' "$work/podsim.log")" "$WINEPREFIX/dosdevices/com5"

wall() {  # COMMAND...: its wall time in seconds
  local start end
  start=$(date +%s.%N)
  "$@" </dev/null >"$work/out" 2>&1 || { cat "$work/out"; exit 1; }
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }'
}
linux=$(wall "$cli" write --pod BENCH --base 0x300000 "$program")
windows=$(wall wine "$exe" write --pod COM5 --base 0x300000 "Z:$program")
awk -v l="$linux" -v w="$windows" 'BEGIN {
  printf "linux: %.2f s; windows under wine: %.2f s; ratio %.3f (target 1.10)\n", l, w, w / l }'
