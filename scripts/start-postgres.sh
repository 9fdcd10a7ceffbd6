#!/usr/bin/env bash
# Starts a throw-away PostgreSQL server on a loopback port and prints its URL.
# Prints nothing (and fails) when no server can be started here.
set -euo pipefail
bindir="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n1)"
[ -x "$bindir/initdb" ] || exit 1
dir="${PLA013_PG_DIR:-/tmp/pla013-pg}"
port="${PLA013_PG_PORT:-55439}"
run() { if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi; }
if ! run "$bindir/pg_ctl" -D "$dir" status >/dev/null 2>&1; then
  rm -rf "$dir"; mkdir -p "$dir"
  [ "$(id -u)" = 0 ] && chown postgres "$dir"
  run "$bindir/initdb" -D "$dir" -U postgres -A trust -E UTF8 >/dev/null
  run "$bindir/pg_ctl" -D "$dir" -o "-p $port -k /tmp -c listen_addresses=127.0.0.1" -l "$dir/log" -w start >/dev/null
fi
echo "postgresql://postgres@127.0.0.1:$port/postgres"
