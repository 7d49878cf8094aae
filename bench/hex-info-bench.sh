#!/usr/bin/env bash
# Whole-process runs of `info` on a full F28335 flash as hex2000 writes it
# (about 1.3 MB of Intel HEX) against `info` on the same words as a raw
# binary: medians of RUNS runs each. Target: within 2x. Usage:
#   bench/hex-info-bench.sh [BUILD]   (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
cli="$build/src/cli/corvexlink-cli"
runs="${RUNS:-31}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# A full flash of varied words, written by the tool itself in both forms.
python3 - "$work/flash.bin" <<'PY'
import struct, sys
words = [(i * 0x9E37 + (i >> 7)) & 0xFFFF for i in range(0x40000)]
open(sys.argv[1], "wb").write(struct.pack("<%dH" % len(words), *words))
PY
"$cli" convert --base 300000 --to hex -o "$work/flash.hex" "$work/flash.bin" >/dev/null

median_ms() {  # file: the median wall time of `info` on it, in ms
  local times=()
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s%N)
    "$cli" info --device none "$@" >/dev/null
    end=$(date +%s%N)
    times+=($(((end - start) / 1000)))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.2f", a[int((NR+1)/2)]/1000}'
}
hex=$(median_ms "$work/flash.hex")
bin=$(median_ms --base 300000 "$work/flash.bin")
echo "info, full F28335 flash: Intel HEX $(stat -c %s "$work/flash.hex") bytes ${hex} ms, raw binary ${bin} ms" \
     "(medians of $runs runs): $(awk -v h="$hex" -v b="$bin" 'BEGIN {printf "%.2fx", h / b}')"
