#!/usr/bin/env bash
# A private MariaDB server with its own data folder, socket and TCP port; it never touches a
# system server. Usage:
#   db-server.sh start DIR PORT   creates DIR/data on first use and starts the server
#   db-server.sh stop DIR         stops the server started with DIR
# The server matches the defaults of SysInit.ini: user root, empty password, TCP on 127.0.0.1.
set -euo pipefail

cmd=${1:?start or stop}
dir=$(mkdir -p "${2:?folder}" && cd "$2" && pwd)
data="$dir/data"
sock="$dir/mysqld.sock"
pidf="$dir/mysqld.pid"

ping_server() {
  mariadb-admin --no-defaults --protocol=socket --socket="$sock" -uroot ping >/dev/null 2>&1
}

case "$cmd" in
start)
  port=${3:?port}
  if [ -f "$pidf" ] && kill -0 "$(cat "$pidf")" 2>/dev/null && ping_server; then
    echo "MariaDB already runs from $dir"
    exit 0
  fi
  if [ ! -d "$data/mysql" ]; then
    mkdir -p "$data"
    mariadb-install-db --no-defaults --auth-root-authentication-method=normal \
      --datadir="$data" --skip-test-db >"$dir/install.log" 2>&1 ||
      { cat "$dir/install.log"; exit 1; }
  fi
  user_opt=()
  [ "$(id -u)" -eq 0 ] && user_opt=(--user=root)
  mariadbd --no-defaults "${user_opt[@]}" --datadir="$data" --socket="$sock" --pid-file="$pidf" \
    --bind-address=127.0.0.1 --port="$port" --character-set-server=utf8mb4 \
    --collation-server=utf8mb4_general_ci --skip-name-resolve --log-error="$dir/error.log" \
    --innodb-buffer-pool-size=64M --innodb-log-file-size=16M \
    >/dev/null 2>&1 &
  for _ in $(seq 1 300); do
    ping_server && { echo "MariaDB runs on 127.0.0.1:$port (data in $data)"; exit 0; }
    sleep 0.2
  done
  echo "MariaDB did not start; see $dir/error.log" >&2
  tail -n 20 "$dir/error.log" >&2 || true
  exit 1
  ;;
stop)
  if ping_server; then
    mariadb-admin --no-defaults --protocol=socket --socket="$sock" -uroot shutdown || true
  fi
  if [ -f "$pidf" ]; then
    pid=$(cat "$pidf")
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    # A pid file outlives its server, and the number may belong to another process by now: only
    # a MariaDB server started on this data folder is ended.
    if kill -0 "$pid" 2>/dev/null && tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null |
      grep -q -- "mariadbd .*--datadir=$data "; then
      kill -9 "$pid" 2>/dev/null || true
    fi
    rm -f "$pidf"
  fi
  ;;
*)
  echo "usage: $0 start DIR PORT | stop DIR" >&2
  exit 2
  ;;
esac
