#!/usr/bin/env bash
# The production line's stores under wine: the Windows CLI numbering boards
# from a SQLite ledger file and from a PostgreSQL ledger, and storing board
# records there, as the Linux CLI does. Called by tools/windows-build.sh with
# the wine prefix it set up (WINEPREFIX exported, COM ports free).
#   windows-line-test.sh WORK CLI_EXE LINUX_CLI PODSIM PROGRAM
set -euo pipefail
work="$1" cli_exe="$2" linux_cli="$3" podsim="$4" program="$5"
root="$(cd "$(dirname "$0")/.." && pwd)"
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
line="$work/line"
mkdir -p "$line"
# The Windows CLI's output and status; through a file of its own, as the
# service processes wine starts would hold a pipe open.
win() {
  local out status=0
  out="$(mktemp -p "$line")"
  wine "$cli_exe" "$@" </dev/null >"$out" 2>&1 || status=$?
  tr -d '\r' <"$out"
  rm -f "$out"
  return "$status"
}

# Emulated pods on COM5 and COM6, each with its own flash file.
pods=()
start_pods() {  # EMULATOR ARGS...
  local n tty
  for n in 5 6; do
    "$podsim" --serial "LINE$n" --flash "$line/board$n.bin" "$@" >"$line/pod$n.log" &
    pods+=($!)
  done
  for n in 5 6; do
    for _ in $(seq 50); do grep -q ' ready on ' "$line/pod$n.log" && break; sleep 0.1; done
    tty="$(sed -n 's/.* ready on //p' "$line/pod$n.log")"
    [ -n "$tty" ] || { cat "$line/pod$n.log"; return 1; }
    ln -sfn "$tty" "$WINEPREFIX/dosdevices/com$n"
  done
}
stop_pods() {
  [ ${#pods[@]} -eq 0 ] && return 0
  kill "${pods[@]}" 2>/dev/null || true
  wait "${pods[@]}" 2>/dev/null || true
  pods=()
}
# The 16-bit word --serial-at 0x300AB4 leaves in a board's flash file.
serial_word() { od -An -tu2 -j $((2 * (0x300AB4 - 0x300000))) -N2 "$1" | tr -d ' '; }
serial=(--serial-at 0x300AB4)

echo "== a SQLite ledger under wine"
ledger="$line/일련번호.db"  # a name in another script reaches SQLite whole
"$linux_cli" ledger init --serial-start 100 "$ledger" >/dev/null
# What is not a ledger of ours is refused, named, and left as it was.
(
  cd "$line"
  "$linux_cli" ledger init linked.db >/dev/null && ln linked.db hard.db
  python3 -c 'import sqlite3; c = sqlite3.connect("other.db"); c.execute("CREATE TABLE parts (id INTEGER)"); c.commit()'
  "$linux_cli" ledger init readonly.db >/dev/null && chmod 0444 readonly.db
  printf '%s\n' "# Corvexlink serial numbers: the next number, then one line per number and outcome" "next 502" \
    "500 P1 2026-01-01T00:00:00Z issued" "500 P1 2026-01-01T00:00:01Z Ok" >old.txt
)
start_pods
for refused in "hard.db:more than one name" "other.db:not a serial-number ledger" \
  "readonly.db:cannot be read and written" "old.txt:corvexlink-cli ledger import old.txt NEW.db"; do
  file="${refused%%:*}" reason="${refused#*:}"
  before="$(sha256sum <"$line/$file")"
  out="$(cd "$line" && win write --pod COM5 "${serial[@]}" --serial-ledger "$file" "Z:$program")" &&
    fail "$file was taken as a ledger"
  grep -qF "$reason" <<<"$out" || fail "$file: '$reason' not said: $out"
  [ "$(sha256sum <"$line/$file")" = "$before" ] || fail "$file was changed"
  [ -e "$line/$file-wal" ] && fail "$file was given a journal"
done
# The text ledger converted under wine, read back on Linux.
(cd "$line" && win ledger import old.txt converted.db >/dev/null) || fail "ledger import under wine"
"$linux_cli" ledger list --json "$line/converted.db" | jq -e '.numbers == [{"number":500,"state":"used","board":"P1",
  "time":"2026-01-01T00:00:01Z"}]' >/dev/null || fail "the ledger converted under wine reads otherwise on Linux"
# One made under wine is a ledger to Linux, starting where it was told.
(cd "$line" && win ledger init --serial-start 7 made-on-windows.db >/dev/null) || fail "ledger init under wine"
"$linux_cli" ledger list "$line/made-on-windows.db" >/dev/null || fail "Linux cannot list the ledger made under wine"
[ "$(python3 -c 'import sqlite3, sys
print(sqlite3.connect(sys.argv[1]).execute("SELECT value FROM corvexlink_ledger WHERE key = ?", ("next",)).fetchone()[0])' \
  "$line/made-on-windows.db")" = 7 ] || fail "the ledger made under wine does not start at 7"

# Two Windows processes at once, each programming its board again and
# again, take their numbers from the ledger Linux made.
rounds=15
stations=()
for n in 5 6; do
  (
    for _ in $(seq "$rounds"); do
      win write --pod "COM$n" "${serial[@]}" --serial-ledger "Z:$ledger" "Z:$program" >>"$line/station$n.log" ||
        echo "a write on COM$n failed" >>"$line/station$n.log"
    done
  ) &
  stations+=($!)
done
wait "${stations[@]}"
grep -h "^a write on COM. failed$" "$line/station5.log" "$line/station6.log" && fail "a station's write failed"
stop_pods
"$linux_cli" ledger list --json "$ledger" >"$line/list.json" || fail "Linux cannot list the ledger Windows used"
win ledger list --json "Z:$ledger" >"$line/windows-list.json" || fail "the ledger cannot be listed under wine"
diff <(jq -S . "$line/list.json") <(jq -S . "$line/windows-list.json") >/dev/null ||
  fail "Windows lists the ledger otherwise than Linux: $(cat "$line/windows-list.json")"
expected="$(seq 100 $((100 + 2 * rounds - 1)) | jq -sc .)"
jq -e --argjson expected "$expected" '[.numbers[].number] == $expected and all(.numbers[]; .state == "used")' \
  "$line/list.json" >/dev/null || fail "the numbers two processes took are not $expected, each used: $(cat "$line/list.json")"
for n in 5 6; do
  jq -e --argjson word "$(serial_word "$line/board$n.bin")" '[.numbers[].number] | index($word) != null' \
    "$line/list.json" >/dev/null || fail "board $n holds a number the ledger never issued"
done
[ "$failures" -eq 0 ] && echo "two processes took $((2 * rounds)) numbers from one ledger: each once, none skipped"

echo "== PostgreSQL over TCP under wine"
pg="$(mktemp -d)"
chmod 0711 "$pg"
port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
server="$("$root/tools/pg-server.sh" start "$pg/cluster" "$port")"
stop_server() { "$root/tools/pg-server.sh" stop "$pg/cluster" >/dev/null 2>&1 || true; }
trap 'stop_server; stop_pods; rm -rf "$pg"' EXIT
psql -q "$server" -c "CREATE DATABASE windows_line" -c "CREATE DATABASE linux_line"
windows_db="${server%/postgres}/windows_line"
linux_db="${server%/postgres}/linux_line"
sql() { psql -Atq "$1" -c "$2"; }
# What a board record says, apart from the pod, the host, the time and how long each step took.
records="SELECT device, command, regexp_replace(program, '^.*[/\\\\]', ''), sha256, flash_crc32, erase_mask,
  serial_number, result, regexp_replace(message, '[0-9.]+ sec', 'N sec'), boot_ms IS NOT NULL,
  algorithm_ms IS NOT NULL, flash_init_ms IS NOT NULL, erase_ms IS NOT NULL, program_ms IS NOT NULL,
  reset_ms IS NOT NULL, total_ms > 0 FROM board_log ORDER BY serial_number"

# A TLS connection is asked for: refused, as this build has none, before
# the board is touched (programmed, it would lose the number it holds).
start_pods
held="$(serial_word "$line/board5.bin")"
out="$(win write --pod COM5 --log "$windows_db?sslmode=require" "Z:$program")" && fail "sslmode=require was not refused"
grep -qF "asks for TLS (sslmode=require)" <<<"$out" || fail "the refusal of sslmode=require: $out"
[ "$(serial_word "$line/board5.bin")" = "$held" ] || fail "a run refused for TLS programmed the board"

# Two pods, numbered from the server's ledger and logged there, as on Linux.
out="$(win write --pod COM5 --pod COM6 --log "$windows_db" --serial-ledger "$windows_db" "${serial[@]}" "Z:$program")" ||
  fail "the write with a PostgreSQL ledger: $out"
stop_pods
for n in 0 1; do
  "$podsim" --serial "LINUX$n" --flash "$line/linux$n.bin" >"$line/linux$n.log" &
  pods+=($!)
done
for n in 0 1; do for _ in $(seq 50); do grep -q ' ready on ' "$line/linux$n.log" && break; sleep 0.1; done; done
"$linux_cli" write --pod LINUX0 --pod LINUX1 --log "$linux_db" --serial-ledger "$linux_db" "${serial[@]}" "$program" \
  >"$line/linux-write.log" 2>&1 || fail "the Linux write with a PostgreSQL ledger: $(cat "$line/linux-write.log")"
stop_pods
sql "$windows_db" "$records" >"$line/windows-records.txt"
sql "$linux_db" "$records" >"$line/linux-records.txt"
[ "$(wc -l <"$line/windows-records.txt")" -eq 2 ] || fail "board_log holds $(wc -l <"$line/windows-records.txt") rows, not 2"
diff "$line/linux-records.txt" "$line/windows-records.txt" || fail "the Windows board records differ from the Linux ones"
[ "$(sql "$windows_db" "SELECT string_agg(number || state, ',' ORDER BY number) FROM serial_numbers")" = "1used,2used" ] ||
  fail "the server's ledger after the Windows run: $(sql "$windows_db" "SELECT * FROM serial_numbers")"
echo "board_log: the Windows CLI's records are the Linux CLI's"

# The server stops while the boards are programmed: the records are kept in
# the user's state folder and stored once when it is back.
start_pods --wire-model --pod-time O01=1500
win write --pod COM5 --pod COM6 --log "$windows_db" --serial-ledger "$windows_db" "${serial[@]}" "Z:$program" \
  >"$line/stopped.log" &
writer=$!
for _ in $(seq 200); do
  [ "$(sql "$windows_db" "SELECT count(*) FROM serial_numbers WHERE state = 'issued'")" = 2 ] && break
  sleep 0.05
done
stop_server
status=0
wait "$writer" || status=$?
stop_pods
[ "$status" -eq 1 ] || fail "a run whose server stopped exited $status"
grep -qF "the records are kept in C:" "$line/stopped.log" || fail "the spool was not named: $(cat "$line/stopped.log")"
grep -qF "2 of 2 pods succeeded" "$line/stopped.log" || fail "the boards were not programmed: $(cat "$line/stopped.log")"
spooled="$(find "$WINEPREFIX/drive_c/users" -path '*AppData/Local/corvexlink/spool-*' -size +0 | head -1)"
[ -n "$spooled" ] || fail "no spool in %LOCALAPPDATA%\\corvexlink"
"$root/tools/pg-server.sh" start "$pg/cluster" "$port" >/dev/null
start_pods
win write --pod COM5 --log "$windows_db" --serial-ledger "$windows_db" "${serial[@]}" "Z:$program" >"$line/back.log" ||
  fail "the run after the server came back: $(cat "$line/back.log")"
stop_pods
[ "$(serial_word "$line/board5.bin")" = 5 ] || fail "the board after the server came back holds $(serial_word "$line/board5.bin"), not 5"
[ "$(sql "$windows_db" "SELECT count(*), count(DISTINCT record_id), count(*) FILTER (WHERE serial_number IN (3, 4) AND result = 'Ok') FROM board_log")" = "5|5|2" ] ||
  fail "board_log after the server came back: $(sql "$windows_db" "SELECT serial_number, result FROM board_log")"
[ -s "$spooled" ] && fail "the spool still holds records that were stored"
echo "a server stopped mid-run: 2 records kept in the spool, stored once when it was back"

[ "$failures" -eq 0 ] || { echo "line under wine: $failures failed"; exit 1; }
echo "line under wine: all passed"
