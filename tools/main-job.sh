#!/usr/bin/env bash
# Installs what is missing, builds the release preset's programs (the window,
# the CLI and the emulator; no tests or benchmarks), and programs a sample
# program into the target: through the attached pod when there is one,
# otherwise into a pod emulator started for the purpose.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target corvexlink corvexlink-cli corvexlink-podsim

sample="${1:-../shared/testdata/coff/adc_oku.out}"
cli=build/release/src/cli/corvexlink-cli
podsim=build/release/src/podsim/corvexlink-podsim

"$cli" info --device F28335 "$sample"
echo

if "$cli" probe >/dev/null 2>&1; then
  echo "== Programming the targets through the attached pods:"
  "$cli" pods
  if [ "$("$cli" pods --json | jq length)" -gt 1 ]; then
    exec "$cli" write --all-pods --device F28335 "$sample"
  fi
  exec "$cli" write --device F28335 "$sample"
fi

echo "== No pod attached: programming the pod emulator"
work=build/release/main-job
mkdir -p "$work"
export XDG_RUNTIME_DIR="$PWD/$work/runtime"   # the emulator's pod is seen only by this job
mkdir -p "$XDG_RUNTIME_DIR"
coproc PODSIM { exec "$podsim" --device F28335 --flash "$work/target-flash.bin" --trace "$work/trace.txt"; }
podsim_pid=$PODSIM_PID
trap 'kill -TERM "$podsim_pid" 2>/dev/null || true; wait "$podsim_pid" 2>/dev/null || true' EXIT
read -r -u "${PODSIM[0]}" ready_line
echo "$ready_line"

"$cli" write --device F28335 "$sample"
echo "Target flash image: $work/target-flash.bin, byte trace: $work/trace.txt"
