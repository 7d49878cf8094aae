#!/usr/bin/env bash
# Installs what is missing, builds the release preset and loads a sample
# program, showing its sections as the programmer sees them.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release

sample="${1:-../shared/testdata/coff/adc_oku.out}"
build/release/src/cli/corvexlink-cli info --device F28335 "$sample"
