#!/usr/bin/env bash
# The Windows window under wine, driven as a user or an accessibility tool
# drives it: found by its title, its controls by their ids (the driver,
# build/windows/tests/corvexlink-window-driver.exe), on a virtual X display.
#   windows-window-test.sh WORK WINDOW_EXE DRIVER_EXE PODSIM PROGRAM LINUX_BOARD
# The caller sets WINEPREFIX and DISPLAY (a virtual X display that wine had
# from its start); LINUX_BOARD is the flash the Linux CLI left after writing
# PROGRAM. Leaves a screenshot of the window after its write in
# build/windows/window-after-write.bmp.
set -euo pipefail
work="$1" window_exe="$2" driver_exe="$3" podsim="$4" program="$5" linux_board="$6"
root="$(cd "$(dirname "$0")/.." && pwd)"
failures=0
fail() { echo "FAILED (window): $*"; failures=$((failures + 1)); }

# The window's Korean captions in a font that has them.
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v '굴림' /d NanumGothic /f \
  </dev/null >/dev/null 2>&1 || true

drive() { wine "$driver_exe" "$@" </dev/null 2>>"$work/driver.log" | tr -d '\r'; }
window_pid=""
start_window() {  # ARGS...: starts the window and waits for it; prints how long that took
  local start
  start=$(date +%s%N)
  wine "$window_exe" "$@" </dev/null >>"$work/window.log" 2>&1 &
  window_pid=$!
  drive wait-window 30000 || { fail "the window did not show"; return 1; }
  echo "window shown in $((($(date +%s%N) - start) / 1000000)) ms"
}
end_window() {  # closes the window and waits until its process ended
  drive close || true
  for _ in $(seq 100); do kill -0 "$window_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$window_pid" 2>/dev/null && { fail "the window did not close"; kill "$window_pid"; }
  wait "$window_pid" 2>/dev/null || true
}
expect_line() {  # PREFIX [MS]: the message line starts with PREFIX within MS
  drive wait-text 1013 "$1" "${2:-10000}" >/dev/null || fail "the message line does not say '$1': $(tail -1 "$work/driver.log")"
}

# The Linux emulator behind COM5.
"$podsim" --serial WINDOW --flash "$work/window-board.bin" >"$work/WINDOW.log" 2>&1 &
pod=$!
for _ in $(seq 50); do grep -q ' ready on ' "$work/WINDOW.log" && break; sleep 0.1; done
ln -sfn "$(sed -n 's/.* ready on //p' "$work/WINDOW.log")" "$WINEPREFIX/dosdevices/com5"

echo "-- Target Write through COM5"
start_window --pod COM5
expect_line "Connection to Corvexlink POD is successful"
drive set-text 1003 "Z:$program"
drive click 1010
expect_line "Flash Write Completed" 60000
sleep 0.3  # the last repaint
drive screenshot "Z:$root/build/windows/window-after-write.bmp" || fail "no screenshot"

echo "-- a second start brings the first to the front"
second=0
timeout 30 wine "$window_exe" </dev/null >>"$work/window.log" 2>&1 || second=$?
[ "$second" -eq 0 ] || fail "the second start ended with $second"
drive foreground || fail "the first window is not in front"
[ "$(drive text 0)" = "TMS320F283x DSP Programmer Ver1.0 - Quillon - POD COM5" ] || fail "the first window changed"

echo "-- a file of no known format; choices that the profile keeps"
printf 'not a program' >"$work/junk.out"
drive set-text 1003 "Z:$work/junk.out"
drive click 1006
expect_line "The specified file is not COFF format"
drive click 1002  # Erase All
drive click 1015  # Unlock CSM
drive set-text 1016 "12AB"
drive set-text 1003 "Z:$program"
drive click 1006
expect_line "Reading COFF file is successful"
end_window
kill "$pod"
wait "$pod" 2>/dev/null || true
if cmp -s "$work/window-board.bin" "$linux_board" && [ -s "$linux_board" ]; then
  echo "the board holds, word for word, what the Linux CLI leaves"
else
  fail "the window's board differs from the Linux CLI's"
fi

echo "-- the profile in the registry, and back"
profile='HKCU\Software\Quillon\corvexlink'
wine reg query "$profile\\Main Configuration" </dev/null >"$work/profile.txt" 2>&1 || true
wine reg query "$profile\\File List" </dev/null >>"$work/profile.txt" 2>&1 || true
tr -d '\r' <"$work/profile.txt" >"$work/profile.unix"
grep -q "EraseAll Mode *REG_DWORD *0x1" "$work/profile.unix" || fail "EraseAll Mode not saved as a number"
grep -q "CSM Use Option *REG_DWORD *0x1" "$work/profile.unix" || fail "CSM Use Option not saved"
grep -q "PW KEY0 *REG_DWORD *0x12ab" "$work/profile.unix" || fail "PW KEY0 not saved"
grep -q "MCU Type *REG_DWORD *0x2" "$work/profile.unix" || fail "MCU Type not saved"
grep -qF "Recent File0    REG_SZ    Z:$program" "$work/profile.unix" || fail "the recent file not saved"
[ "$failures" -eq 0 ] || cat "$work/profile.unix"

echo "-- no pod attached"
rm -f "$WINEPREFIX/dosdevices/com5"
start_window
expect_line "Reading COFF file is successful"  # the most recent file, loaded at start
[ "$(drive checked 1002)" = 1 ] || fail "Erase All did not come back"
[ "$(drive checked 1015)" = 1 ] || fail "the CSM use did not come back"
[ "$(drive text 1016)" = "12AB" ] || fail "KEY0 did not come back"
[ "$(drive selected 1000)" = 2 ] || fail "the device did not come back"
[ "$(drive text 1003)" = "Z:$program" ] || fail "the recent file did not come back"
drive click 1010
expect_line "No Connection to Corvexlink POD"
end_window

[ "$failures" -eq 0 ] || { echo "window: $failures failed"; cat "$work/driver.log"; exit 1; }
echo "window: all passed"
