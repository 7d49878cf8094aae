#!/usr/bin/env bash
# Builds the fuzz targets and runs each for a while (FUZZ_SECONDS, default 60
# for the COFF reader and a third of that for the others) on a working copy
# of the committed corpus, seeded with the sample programs. Any finding stops
# the script with the fuzzer's report; its input is left under build/fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-60}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

run() {  # name corpus-name seconds
  local name=$1 corpus=build/fuzz/corpus/$2 time=$3
  mkdir -p "$corpus"
  cp -n fuzz/corpus/"$2"/* "$corpus"/ 2>/dev/null || true
  echo "== fuzz: $name for ${time}s"
  (cd build/fuzz && fuzz/"$name" -max_total_time="$time" -max_len=300000 -rss_limit_mb=4096 \
      -print_final_stats=1 "corpus/$2" 2>"$name.log") \
    || { tail -n 60 "build/fuzz/$name.log"; echo "fuzz: $name found a problem"; exit 1; }
  grep -E '^stat::number_of_executed_units' "build/fuzz/$name.log" || true
  echo "fuzz: $name ran without a finding"
}

mkdir -p build/fuzz/corpus/coff
if [ -d ../shared/testdata/coff ]; then
  cp ../shared/testdata/coff/*.out build/fuzz/corpus/coff/ && chmod u+w build/fuzz/corpus/coff/*
fi
for format in elf hex; do
  mkdir -p build/fuzz/corpus/$format
  if [ -d ../shared/testdata/$format ]; then
    find ../shared/testdata/$format -type f ! -name README.md -size -300k -exec cp {} build/fuzz/corpus/$format/ \;
    chmod -R u+w build/fuzz/corpus/$format
  fi
done
run fuzz-coff-reader coff "$seconds"
run fuzz-elf-reader elf $((seconds / 3))
run fuzz-hex-reader hex $((seconds / 3))
run fuzz-pod-replies replies $((seconds / 3))
run fuzz-key-text keys $((seconds / 3))
run fuzz-settings settings $((seconds / 3))
