#!/usr/bin/env bash
# Cross-builds the core, corvexlink.exe (the window) and corvexlink-cli for
# 64-bit Windows (mingw-w64, POSIX threads, static runtime) into
# build/windows/, tests them under wine, and packs
# build/windows/corvexlink-<version>-win64.zip (the window, the CLI, README).
# The tests under wine: the platform seam's unit tests; 'info --json' on
# every sample, against the Linux build; a write through a COM port that
# wine maps to the Linux emulator's terminal, leaving the board word for word
# as the Linux CLI does; the golden session trace through that port; and the
# window on a virtual X display, driven by its title and control ids.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
samples="$root/../shared/testdata"

# What is missing: the cross compilers, wine, zip, GoogleTest's sources; tclsh
# and dpkg-source for the line's libraries; a PostgreSQL server for their tests.
packages=(g++-mingw-w64-x86-64-posix wine wine64 zip googletest python3 jq xvfb fonts-nanum tcl dpkg-dev postgresql)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

toolchain="$root/cmake/mingw-w64-x86_64.cmake"
deps="$root/build/windows-deps"
if [ ! -f "$deps/gtest/lib/libgtest.a" ]; then
  echo "== GoogleTest for mingw-w64"
  cmake -S /usr/src/googletest -B "$deps/gtest-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps/gtest" -DBUILD_GMOCK=OFF >/dev/null
  cmake --build "$deps/gtest-build" >/dev/null
  cmake --install "$deps/gtest-build" >/dev/null
fi

# SQLite and libpq for the production line's ledgers and board logs, from
# Debian's sources, static.
started=$SECONDS
bash tools/windows-line-libraries.sh "$deps"
echo "line libraries ready in $((SECONDS - started)) s"
line_libraries="$deps/line-libraries"

echo "== build/windows"
cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCORVEXLINK_GUI=OFF -DCORVEXLINK_LINE_DATABASES=ON -DCORVEXLINK_BENCH=OFF \
  -DGTest_DIR="$deps/gtest/lib/cmake/GTest" \
  -DSQLite3_INCLUDE_DIR="$line_libraries/include" -DSQLite3_LIBRARY="$line_libraries/lib/libsqlite3.a" \
  -DPostgreSQL_INCLUDE_DIR="$line_libraries/include" -DPostgreSQL_LIBRARY="$line_libraries/lib/libpq.a" >/dev/null
cmake --build build/windows
# The Linux side the results are held against: its CLI and the emulator.
cmake --preset dev >/dev/null
cmake --build --preset dev --target corvexlink-cli corvexlink-podsim >/dev/null
linux_cli="$root/build/dev/src/cli/corvexlink-cli"
podsim="$root/build/dev/src/podsim/corvexlink-podsim"
cli_exe="$root/build/windows/src/cli/corvexlink-cli.exe"
window_exe="$root/build/windows/src/win/corvexlink.exe"
driver="$root/build/windows/tests/corvexlink-window-driver.exe"

# A wine prefix of this run's own; wine always gets </dev/null (or each start
# waits on the terminal) and writes to files (its service processes would
# hold a pipe open).
work="$(mktemp -d)"
export WINEPREFIX="$work/wine" WINEDEBUG=-all
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_RUNTIME_DIR"
cleanup() {
  wineserver -k 2>/dev/null || true
  kill $(jobs -p) 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# A virtual X display for the window, there before wine starts.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
exec 3>&-
export DISPLAY=":$(head -1 "$work/display")"
mkdir -p "$WINEPREFIX"
wineserver -p >"$work/wineserver.log" 2>&1
wineboot -i </dev/null >"$work/wineboot.log" 2>&1
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

echo "== platform tests under wine"
if wine build/windows/tests/corvexlink-platform-tests.exe </dev/null >"$work/platform.log" 2>&1; then
  grep -E '^\[  (PASSED|SKIPPED) ' "$work/platform.log"
else
  cat "$work/platform.log"
  fail "platform tests"
fi

echo "== info --json, Windows against Linux"
compared=0
for file in "$samples"/{coff,hex,elf,bin}/*; do
  case "$file" in *.md) continue ;; esac
  for device in F28335 none; do
    # Relative names, so both print the same file name; the time taken differs.
    (cd "$(dirname "$file")" && "$linux_cli" info --json --device "$device" "$(basename "$file")" \
      >"$work/linux.json" 2>/dev/null) || true
    (cd "$(dirname "$file")" && wine "$cli_exe" info --json --device "$device" "$(basename "$file")" \
      </dev/null >"$work/windows.json" 2>/dev/null) || true
    jq -e .result "$work/linux.json" >/dev/null || fail "the Linux CLI gave no result for $file"
    if ! diff <(jq -S 'del(.elapsedSeconds)' "$work/linux.json") \
      <(tr -d '\r' <"$work/windows.json" | jq -S 'del(.elapsedSeconds)') >"$work/diff" 2>&1; then
      fail "info --device $device $file"
      head -20 "$work/diff"
    fi
    compared=$((compared + 1))
  done
done
# A name in another script arrives whole, through the wide command line.
for name in "프로그램.out" "Ωμέγα.out"; do
  cp "$samples/coff/adc_oku.out" "$work/$name"
  (cd "$work" && "$linux_cli" info --json "$name" >"$work/linux.json")
  (cd "$work" && wine "$cli_exe" info --json "$name" </dev/null >"$work/windows.json" 2>&1) || fail "info $name"
  diff <(jq -S 'del(.elapsedSeconds)' "$work/linux.json") \
    <(tr -d '\r' <"$work/windows.json" | jq -S 'del(.elapsedSeconds)') >/dev/null 2>&1 || fail "info $name"
  compared=$((compared + 1))
done
echo "info --json: $compared outputs compared, each equal to the Linux one"

# An emulated pod on COM5: the prefix's dosdevices link to its terminal.
start_pod() {  # NAME ARGS...: starts an emulator, maps COM5 to it
  local name="$1"
  shift
  "$podsim" --serial "$name" "$@" >"$work/$name.log" &
  for _ in $(seq 50); do grep -q ' ready on ' "$work/$name.log" && break; sleep 0.1; done
  local tty
  tty="$(sed -n 's/.* ready on //p' "$work/$name.log")"
  [ -n "$tty" ] || { cat "$work/$name.log"; return 1; }
  ln -sfn "$tty" "$WINEPREFIX/dosdevices/com5"
}
stop_pods() {  # every emulator started; the display stays
  local pods
  pods="$(jobs -p | grep -vx "$xvfb" || true)"
  [ -z "$pods" ] && return 0
  # shellcheck disable=SC2086
  kill $pods 2>/dev/null || true
  # shellcheck disable=SC2086
  wait $pods 2>/dev/null || true
}

echo "== write through COM5"
program="$samples/coff/adc_oku.out"
start_pod WINE --flash "$work/windows-board.bin"
# A COM port in any case and in the device-path form.
wine "$cli_exe" write --pod com5 "Z:$program" </dev/null >"$work/write.log" 2>&1 || { cat "$work/write.log"; fail "write through com5"; }
wine "$cli_exe" probe --pod '\\.\COM5' </dev/null >"$work/probe.log" 2>&1 || { cat "$work/probe.log"; fail "probe \\.\COM5"; }
stop_pods

echo "== the Windows CLI speaks Windows"
# A port with nothing on it: the reason, and no pod named.
rm -f "$WINEPREFIX/dosdevices/com7"
if wine "$cli_exe" reset --pod COM7 </dev/null >"$work/com7.log" 2>&1; then fail "a missing COM7 was used"; fi
tr -d '\r' <"$work/com7.log" | grep -q "Fail to open communication port: COM7 does not exist" ||
  { cat "$work/com7.log"; fail "the missing port's reason"; }
if grep -q "Corvexlink POD" "$work/com7.log"; then fail "a port with nothing on it was called a Corvexlink POD"; fi
# Paths as the user wrote them.
mkdir -p "$work/out dir"
wine "$cli_exe" convert --to hex -o 'Z:'"${work//\//\\}"'\out dir\x.hex' "Z:$program" </dev/null >"$work/convert.log" 2>&1 ||
  { cat "$work/convert.log"; fail "convert to a Windows path"; }
tr -d '\r' <"$work/convert.log" | grep -qF 'out dir\x.hex:' || { cat "$work/convert.log"; fail "the path was not printed as written"; }
if grep -qF '\\' "$work/convert.log"; then fail "backslashes doubled in $(cat "$work/convert.log")"; fi
# The help names COM ports, not Linux devices; a single value given twice is a command-line error.
wine "$cli_exe" --help </dev/null 2>&1 | grep -q "COM5" || fail "--help does not name COM ports"
if wine "$cli_exe" --help </dev/null 2>&1 | grep -q "ttyUSB"; then fail "--help names /dev/ttyUSB"; fi
repeated=0
wine "$cli_exe" info --device F28335 --device F28334 "Z:$program" </dev/null >/dev/null 2>&1 || repeated=$?
[ "$repeated" -eq 2 ] || fail "a repeated --device is not a command-line error"
"$podsim" --serial LINUX --flash "$work/linux-board.bin" >"$work/LINUX.log" &
sleep 0.5
"$linux_cli" write --pod LINUX "$program" >"$work/linux-write.log" 2>&1 || fail "the Linux write"
stop_pods
if cmp -s "$work/windows-board.bin" "$work/linux-board.bin" && [ -s "$work/linux-board.bin" ]; then
  echo "the board holds, word for word, what the Linux CLI leaves ($(stat -c %s "$work/linux-board.bin") bytes)"
else
  fail "the boards differ"
fi

echo "== the window"
bash tools/windows-window-test.sh "$work" "$window_exe" "$driver" "$podsim" "$program" "$work/linux-board.bin" ||
  fail "the window"

echo "== the production line's stores"
bash tools/windows-line-test.sh "$work" "$cli_exe" "$linux_cli" "$podsim" "$program" || fail "the line's stores"

echo "== golden session trace through COM5"
start_pod GOLDEN --trace "$work/session.trace" --store "$work/store.bin"
coff="Z:$samples/coff"
while read -r command; do
  # shellcheck disable=SC2086
  wine "$cli_exe" $command </dev/null >>"$work/session.log" 2>&1 || [ $? -ne 2 ] || fail "$command"
done <<EOF_SESSION
pod-info --pod COM5
write --pod COM5 $coff/adc_oku.out
write --pod COM5 --erase-all --csm 1234,FFFF,ABCD,0,FFFF,5,6,7 $coff/Example_Flash28333_API.out
write --pod COM5 $coff/adc_oku1.out
reset --pod COM5
pod-write --pod COM5 --name GOLDEN --csm 1,2,3,4,5,6,7,8 $coff/adc_oku.out
pod-verify --pod COM5 $coff/adc_oku.out
pod-verify --pod COM5 $coff/Example_Flash28333_API.out
pod-write --pod COM5 --erase-all $coff/Example_Flash28333_API.out
EOF_SESSION
stop_pods
if python3 tools/trace-normalise.py "$work/session.trace" | cmp -s - tests/golden/cli-session.trace; then
  echo "the bytes on the wire equal the golden session trace"
else
  fail "the session's bytes differ from tests/golden/cli-session.trace"
  python3 tools/trace-normalise.py "$work/session.trace" | diff - tests/golden/cli-session.trace | head -10
fi

echo "== zip"
version="$(sed -n 's/^project(corvexlink VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
zip_dir="$work/corvexlink-$version-win64"
mkdir -p "$zip_dir"
# Shipped stripped; the debug information stays beside the build's exe.
for exe in "$cli_exe" "$window_exe"; do
  x86_64-w64-mingw32-objcopy --only-keep-debug "$exe" "$exe.debug"
  x86_64-w64-mingw32-strip -o "$zip_dir/$(basename "$exe")" "$exe"
  x86_64-w64-mingw32-objcopy --add-gnu-debuglink="$exe.debug" "$zip_dir/$(basename "$exe")"
done
cp README.md "$zip_dir/"  # the project has no licence file yet
# The notices the statically linked libraries ask for, checked against the
# licence texts of the very sources built.
cp THIRD-PARTY-NOTICES "$zip_dir/"
for notice in "$line_libraries"/notices/*.txt; do
  python3 -c 'import sys; sys.exit(open(sys.argv[1]).read().strip() not in open(sys.argv[2]).read())' \
    "$notice" THIRD-PARTY-NOTICES || fail "THIRD-PARTY-NOTICES lacks the text of $(basename "$notice")"
done
rm -f "build/windows/corvexlink-$version-win64.zip"
for exe in corvexlink-cli.exe corvexlink.exe; do
  for word in longPathAware activeCodePage FileVersion; do
    grep -qa "$word" "$zip_dir/$exe" || LC_ALL=C grep -qaP "$(echo -n "$word" | sed 's/./&\\x00/g')" "$zip_dir/$exe" ||
      fail "$exe carries no $word"
  done
  x86_64-w64-mingw32-objdump -h "$zip_dir/$exe" | grep -q debug_info && fail "the shipped $exe is not stripped"
done
# The window is a GUI program (no console) with common controls 6 and per-monitor DPI.
x86_64-w64-mingw32-objdump -p "$zip_dir/corvexlink.exe" >"$work/headers.txt"
grep -q "Subsystem.*(Windows GUI)" "$work/headers.txt" || fail "corvexlink.exe is not a GUI program"
grep -qa "PerMonitorV2" "$zip_dir/corvexlink.exe" || fail "corvexlink.exe is not per-monitor DPI aware"
grep -qa "Microsoft.Windows.Common-Controls" "$zip_dir/corvexlink.exe" || fail "corvexlink.exe asks for no common controls 6"
(cd "$work" && zip -qr "$root/build/windows/corvexlink-$version-win64.zip" "corvexlink-$version-win64")
echo "build/windows/corvexlink-$version-win64.zip"

[ "$failures" -eq 0 ] || { echo "windows: $failures failed"; exit 1; }
echo "windows: all passed"
