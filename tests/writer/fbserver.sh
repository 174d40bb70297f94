#!/usr/bin/env bash
# Starts and stops a private Firebird 3 server for the writer's server tests.
#
#   fbserver.sh start DIR PORT PASSWORD   server on 127.0.0.1:PORT, SYSDBA's password PASSWORD
#   fbserver.sh stop DIR
#
# Everything the server needs lives in DIR: its configuration, its own
# security database and its process id; the machine's installation is only
# read. start exits 0 when the server answers on PORT, 2 (with the reason on
# stderr) when no server can be started here.
set -uo pipefail

command=${1:-}
dir=${2:-}
fbroot=/usr/lib/x86_64-linux-gnu/firebird/3.0
server=/usr/sbin/firebird
secsql=/usr/share/firebird/3.0/security.sql

cannot() {
  echo "fbserver: $*" >&2
  exit 2
}

case "$command" in
start)
  port=${3:-}
  password=${4:-}
  [ -n "$dir" ] && [ -n "$port" ] && [ -n "$password" ] || cannot "usage: fbserver.sh start DIR PORT PASSWORD"
  [ -x "$server" ] || cannot "no server program at $server (Debian package firebird3.0-server)"
  [ -f "$secsql" ] || cannot "no security database script at $secsql (Debian package firebird3.0-server)"
  command -v isql-fb >/dev/null || cannot "isql-fb is not installed (Debian package firebird3.0-utils)"
  [ -d "$fbroot" ] || cannot "no Firebird 3 installation at $fbroot"
  mkdir -p "$dir" || cannot "cannot create $dir"
  # The server reads its configuration from its root folder: link the
  # installation's modules and messages, write our own settings.
  for entry in "$fbroot"/*; do
    name=$(basename "$entry")
    case "$name" in firebird.conf | databases.conf) continue ;; esac
    ln -sfn "$entry" "$dir/$name"
  done
  cat >"$dir/firebird.conf" <<CONF
RemoteServicePort = $port
RemoteBindAddress = 127.0.0.1
SecurityDatabase = $dir/security3.fdb
CONF
  : >"$dir/databases.conf"
  rm -f "$dir/security3.fdb"
  if ! echo "CREATE DATABASE '$dir/security3.fdb';" | FIREBIRD=$dir isql-fb -q >"$dir/setup.log" 2>&1 ||
    ! FIREBIRD=$dir isql-fb -q -user SYSDBA -i "$secsql" "$dir/security3.fdb" >>"$dir/setup.log" 2>&1; then
    cannot "the security database could not be made: $(tail -n 3 "$dir/setup.log" | tr '\n' ' ')"
  fi
  echo "CREATE OR ALTER USER SYSDBA PASSWORD '$password' USING PLUGIN Srp; COMMIT;" >"$dir/user.sql"
  FIREBIRD=$dir isql-fb -q -user SYSDBA -i "$dir/user.sql" "$dir/security3.fdb" >>"$dir/setup.log" 2>&1 ||
    cannot "SYSDBA's password could not be set: $(tail -n 3 "$dir/setup.log" | tr '\n' ' ')"
  FIREBIRD=$dir setsid "$server" </dev/null >"$dir/server.log" 2>&1 &
  echo $! >"$dir/server.pid"
  for _ in $(seq 1 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      exit 0
    fi
    if ! kill -0 "$(cat "$dir/server.pid")" 2>/dev/null; then
      cannot "the server ended at once: $(tail -n 3 "$dir/server.log" | tr '\n' ' ')"
    fi
    sleep 0.1
  done
  kill "$(cat "$dir/server.pid")" 2>/dev/null
  cannot "the server did not answer on port $port within 10 seconds"
  ;;
stop)
  [ -n "$dir" ] || cannot "usage: fbserver.sh stop DIR"
  [ -f "$dir/server.pid" ] || exit 0
  pid=$(cat "$dir/server.pid")
  kill -TERM "$pid" 2>/dev/null
  for _ in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null
  rm -f "$dir/server.pid"
  exit 0
  ;;
*)
  cannot "usage: fbserver.sh start DIR PORT PASSWORD | stop DIR"
  ;;
esac
