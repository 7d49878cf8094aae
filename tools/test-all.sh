#!/usr/bin/env bash
# Installs what is missing, builds the dev and sanitizer presets, runs every
# test in both, then runs each fuzz target for a fixed time.
set -euo pipefail
cd "$(dirname "$0")/.."
fuzz_seconds="${FUZZ_SECONDS:-60}"

tools/install-deps.sh
tools/check-style.sh

for preset in dev asan; do
  echo "== $preset: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "== $preset: tests"
  ctest --preset "$preset"
done
# The fault matrix reports its size; ctest keeps passing tests' output to itself.
build/dev/tests/corvexlink-tests --gtest_filter='FaultMatrix.*' | grep '^fault matrix:'

echo "== fuzz: build"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
corpus=build/fuzz/corpus-coff
mkdir -p "$corpus"
if [ -d ../shared/testdata/coff ]; then
  cp ../shared/testdata/coff/*.out "$corpus"/ && chmod u+w "$corpus"/*
fi
echo "== fuzz: COFF reader for ${fuzz_seconds}s"
build/fuzz/fuzz/fuzz-coff-reader -max_total_time="$fuzz_seconds" -max_len=300000 \
  -rss_limit_mb=4096 -print_final_stats=1 "$corpus" 2>build/fuzz/fuzz-coff-reader.log \
  || { tail -n 60 build/fuzz/fuzz-coff-reader.log; exit 1; }
grep -E 'stat::number_of_executed_units|Done' build/fuzz/fuzz-coff-reader.log || true
echo "fuzz: COFF reader ran without a finding"
