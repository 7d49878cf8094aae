#!/usr/bin/env bash
# Eight emulated pods with the wire model programming the full F28335 flash
# in one 'write --all-pods', against one pod doing the same alone. Prints the
# wall times, their ratio (target: at most 1.05) and the host process's CPU
# time over the wall time (target: under 10% of one core).
# Usage: bench/gang-bench.sh [BUILD_DIR]   (default build/release)
# With LINE_DB set to a PostgreSQL URI, both runs also take a serial number
# per board from it and store their records there (a station of a line).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
cli="$build/src/cli/corvexlink-cli"
podsim="$build/src/podsim/corvexlink-podsim"
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_RUNTIME_DIR"

# The whole flash but the password words: 0x3FFF0 words of random data.
program="$work/full.bin"
head -c $((0x3FFF0 * 2)) /dev/urandom >"$program"
times=(--pod-time N=50 --pod-time K=200 --pod-time O00=20 --pod-time O01=250 --pod-time O02=1 --pod-time R=10)
for i in 1 2 3 4 5 6 7 8; do
  "$podsim" --wire-model "${times[@]}" --serial "GANG$i" >"$work/podsim$i.log" &
done
sleep 1

line=()
[ -n "${LINE_DB:-}" ] && line=(--serial-at 0x300AB4 --serial-ledger "$LINE_DB" --log "$LINE_DB")
measure() {  # prints "wall user+sys"
  /usr/bin/time -f "%e %U %S" -o "$work/time" "$cli" write "$@" "${line[@]}" --base 0x300000 "$program" >"$work/out" 2>&1 ||
    { cat "$work/out"; exit 1; }
  awk '{ printf "%s %.2f\n", $1, $2 + $3 }' "$work/time"
}
read -r oneWall oneCpu < <(measure --pod GANG1)
read -r allWall allCpu < <(measure --all-pods)
awk -v a="$oneWall" -v b="$allWall" -v c="$allCpu" 'BEGIN {
  printf "one pod: %.2f s; eight pods: %.2f s; ratio %.3f (target 1.05); host CPU %.1f%% of a core (target 10%%)\n",
         a, b, b / a, 100 * c / b }'
