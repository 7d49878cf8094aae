#!/usr/bin/env bash
# Installs what is missing, starts a PostgreSQL server of its own, builds the
# dev and sanitizer presets, runs every test in both, then runs each fuzz
# target for a fixed time.
set -euo pipefail
cd "$(dirname "$0")/.."
fuzz_seconds="${FUZZ_SECONDS:-60}"

tools/install-deps.sh
tools/check-style.sh

# A throwaway PostgreSQL server for the line-of-stations tests: a unix socket
# in a temporary folder, stopped and removed however this script ends.
pg_dir="$(mktemp -d)"
chmod 0755 "$pg_dir"
trap 'tools/pg-server.sh stop "$pg_dir/pg"; rm -rf "$pg_dir"' EXIT
CORVEXLINK_TEST_PG="$(tools/pg-server.sh start "$pg_dir/pg")"
export CORVEXLINK_TEST_PG

for preset in dev asan; do
  echo "== $preset: build"
  start=$SECONDS
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "== $preset: built in $((SECONDS - start)) s; tests"
  start=$SECONDS
  ctest --preset "$preset"
  echo "== $preset: tests took $((SECONDS - start)) s"
done
# The fault matrix reports its size; ctest keeps passing tests' output to itself.
build/dev/tests/corvexlink-tests --gtest_filter='FaultMatrix.*' | grep '^fault matrix:'
# Every shell example of the README, run as written.
python3 tools/readme-doctest.py build/dev

start=$SECONDS
FUZZ_SECONDS="$fuzz_seconds" tools/fuzz.sh
echo "== fuzz targets took $((SECONDS - start)) s"
