#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests: a cluster in DIR (whose parent
# others may search, as the server runs as nobody under root), made by
# initdb as an unprivileged user, listening on a unix socket in DIR (and with
# a PORT also on TCP at 127.0.0.1, for clients that have no unix sockets),
# trusting local connections of its one role "corvexlink".
#   tools/pg-server.sh start DIR [PORT]  starts it (made when missing) and
#                                  prints the URI of its database "postgres"
#                                  (over TCP when a PORT is given)
#   tools/pg-server.sh stop DIR    stops it (fast), if it runs
set -euo pipefail
action="${1:?start or stop}"
dir="${2:?the folder of the cluster}"
port="${3:-}"

bindir="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)"
[ -x "$bindir/initdb" ] || { echo "pg-server: PostgreSQL's server programs are not installed" >&2; exit 1; }

# The server refuses to run as root; there it runs as nobody.
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u nobody -- "$@"; else "$@"; fi
}

case "$action" in
start)
  mkdir -p "$dir"
  [ "$(id -u)" -eq 0 ] && chown nobody "$dir"
  chmod 0755 "$dir"
  # A cluster made before is started again as it was.
  if [ ! -d "$dir/data" ]; then
    as_owner "$bindir/initdb" -D "$dir/data" -U corvexlink --auth=trust -E UTF8 --no-locale >"$dir/initdb.log" 2>&1 ||
      { cat "$dir/initdb.log" >&2; exit 1; }
  fi
  listen="-c listen_addresses=''"
  [ -n "$port" ] && listen="-c listen_addresses=127.0.0.1 -p $port"
  as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w \
    -o "$listen -c unix_socket_directories='$dir' -c fsync=off -c max_connections=60" \
    start >/dev/null || { cat "$dir/server.log" >&2; exit 1; }
  if [ -n "$port" ]; then
    echo "postgresql://corvexlink@127.0.0.1:$port/postgres"
  else
    echo "postgresql:///postgres?host=$dir&user=corvexlink"
  fi
  ;;
stop)
  [ -f "$dir/data/postmaster.pid" ] && as_owner "$bindir/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
  exit 0
  ;;
*)
  echo "pg-server: start or stop" >&2
  exit 2
  ;;
esac
