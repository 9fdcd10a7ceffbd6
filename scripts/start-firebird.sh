#!/usr/bin/env bash
# Starts a throw-away Firebird 3 server on a loopback port, as the current
# user, with a folder of its own (configuration, security database with a
# SYSDBA password set here, lock files, the databases) and prints the URL of
# a database in that folder as its last line. The database itself is created
# by 'pla013 db init URL' (the tests create their own beside it).
#
# Where no server can be started (no server binary, the port does not open),
# it falls back to the embedded engine, says so on stderr and prints an
# embedded URL (firebird:///path). Prints nothing (and fails) when neither is
# possible here.
set -euo pipefail
fbroot="$(ls -d /usr/lib/*/firebird/3.0 2>/dev/null | head -n1 || true)"
isql="$(command -v isql-fb || true)"
[ -n "$fbroot" ] && [ -n "$isql" ] || exit 1
dir="${PLA013_FB_DIR:-/tmp/pla013-fb}"
port="${PLA013_FB_PORT:-}"
password_file="$dir/sysdba.password"
url_of() { echo "firebird://SYSDBA:$(cat "$password_file")@127.0.0.1:$1$dir/catering.fdb"; }

# A server of an earlier run that still answers is used again.
if [ -f "$dir/port" ] && [ -f "$dir/server.pid" ] && kill -0 "$(cat "$dir/server.pid")" 2>/dev/null; then
  url_of "$(cat "$dir/port")"
  exit 0
fi

free_port() {
  python3 - <<'EOF'
import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])
s.close()
EOF
}

rm -rf "$dir"
mkdir -p "$dir/lock"
chmod 700 "$dir"
for entry in plugins intl UDF firebird.msg plugins.conf; do
  [ -e "$fbroot/$entry" ] && ln -s "$fbroot/$entry" "$dir/$entry"
done
touch "$dir/databases.conf"
port="${port:-$(free_port)}"
cat > "$dir/firebird.conf" <<EOF
RemoteServicePort = $port
RemoteBindAddress = 127.0.0.1
SecurityDatabase = $dir/security3.fdb
ServerMode = Super
UdfAccess = None
EOF
export FIREBIRD="$dir" FIREBIRD_LOCK="$dir/lock" FIREBIRD_TMP="$dir"
head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n' > "$password_file"
chmod 600 "$password_file"
# The security database and its SYSDBA, through the embedded engine.
printf "CREATE DATABASE '%s';\n" "$dir/security3.fdb" | "$isql" -q -user SYSDBA >"$dir/setup.log" 2>&1
printf "CREATE USER SYSDBA PASSWORD '%s' USING PLUGIN Srp;\nCOMMIT;\n" "$(cat "$password_file")" |
  "$isql" -q -user SYSDBA "$dir/security3.fdb" >>"$dir/setup.log" 2>&1

server="$(ls /usr/sbin/firebird 2>/dev/null || true)"
if [ -n "$server" ]; then
  setsid "$server" >"$dir/server.log" 2>&1 < /dev/null &
  echo $! > "$dir/server.pid"
  for _ in $(seq 1 50); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port" > "$dir/port"
      url_of "$port"
      exit 0
    fi
    sleep 0.1
  done
  kill "$(cat "$dir/server.pid")" 2>/dev/null || true
  rm -f "$dir/server.pid"
fi
echo "start-firebird.sh: no Firebird server could be started here; using the embedded engine" >&2
echo "firebird://$dir/catering.fdb"
