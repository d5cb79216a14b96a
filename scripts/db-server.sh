#!/usr/bin/env bash
# A private MariaDB server with its own data folder, socket and TCP port; it never touches a
# system server. Usage:
#   db-server.sh start DIR PORT   creates DIR/data on first use and starts the server
#   db-server.sh stop DIR         stops the server started with DIR
#   db-server.sh cluster-start DIR PORT
#                                 a 3-node Galera cluster on loopback: node N (1 to 3) in DIR/nodeN,
#                                 answering SQL on PORT+N-1 (its group port PORT+10+N, incremental
#                                 transfer PORT+20+N, full state transfer by rsync on PORT+30+N)
#   db-server.sh cluster-stop DIR stops every node of the cluster in DIR
#   db-server.sh node-stop DIR N / node-start DIR N
#                                 stops one node of a running cluster / lets it join again
# The server matches the defaults of SysInit.ini: user root, empty password, TCP on 127.0.0.1.
set -euo pipefail

cmd=${1:?start, stop, cluster-start, cluster-stop, node-stop or node-start}
dir=$(mkdir -p "${2:?folder}" && cd "$2" && pwd)
data="$dir/data"
sock="$dir/mysqld.sock"
pidf="$dir/mysqld.pid"

ping_server() {
  mariadb-admin --no-defaults --protocol=socket --socket="$sock" -uroot ping >/dev/null 2>&1
}

galera_provider() {
  for lib in /usr/lib/galera/libgalera_smm.so /usr/lib/libgalera_smm.so /usr/lib/galera-4/libgalera_smm.so; do
    [ -f "$lib" ] && { echo "$lib"; return 0; }
  done
  echo "db-server: the Galera library (package galera-4) is not installed" >&2
  return 1
}

node_sql() { # node dir, statement
  mariadb --no-defaults --protocol=socket --socket="$1/mysqld.sock" -uroot -N -B -e "$2" 2>/dev/null
}

# Starts node N of the cluster in $dir; `new` bootstraps a new cluster with it.
start_node() {
  local n=$1 mode=${2:-join} base=$3
  local nd="$dir/node$n"
  local port=$((base + n - 1)) provider
  provider=$(galera_provider)
  mkdir -p "$nd/data"
  # Only the first node is made here; the others receive its whole state when they join.
  if [ "$mode" = new ] && [ ! -d "$nd/data/mysql" ]; then
    mariadb-install-db --no-defaults --auth-root-authentication-method=normal \
      --datadir="$nd/data" --skip-test-db >"$nd/install.log" 2>&1 ||
      { cat "$nd/install.log"; return 1; }
  fi
  local members="" i
  for i in 1 2 3; do members+="${members:+,}127.0.0.1:$((base + 10 + i))"; done
  local address="gcomm://$members" extra=()
  if [ "$mode" = new ]; then
    address="gcomm://"
    extra=(--wsrep-new-cluster)
    # A node that was stopped last may bootstrap again.
    [ -f "$nd/data/grastate.dat" ] && sed -i 's/^safe_to_bootstrap: 0/safe_to_bootstrap: 1/' "$nd/data/grastate.dat"
  fi
  local user_opt=()
  if [ "$(id -u)" -eq 0 ]; then
    user_opt=(--user=root)
    # As root, rsync's daemon (the receiving end of a state transfer) writes as "nobody": the
    # test node's data folder lets it.
    chmod 0777 "$nd/data"
  fi
  mariadbd --no-defaults "${user_opt[@]}" --datadir="$nd/data" --socket="$nd/mysqld.sock" \
    --pid-file="$nd/mysqld.pid" --bind-address=127.0.0.1 --port="$port" \
    --character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci --skip-name-resolve \
    --log-error="$nd/error.log" --innodb-buffer-pool-size=48M --innodb-log-file-size=16M \
    --binlog-format=ROW --default-storage-engine=InnoDB --innodb-autoinc-lock-mode=2 \
    --wsrep-on=ON --wsrep-provider="$provider" --wsrep-cluster-name=quorvel-test \
    --wsrep-cluster-address="$address" --wsrep-node-name="node$n" --wsrep-node-address=127.0.0.1 \
    --wsrep-node-incoming-address="127.0.0.1:$port" --wsrep-sst-method=rsync \
    --wsrep-sst-receive-address="127.0.0.1:$((base + 30 + n))" \
    --wsrep-provider-options="gmcast.listen_addr=tcp://127.0.0.1:$((base + 10 + n));ist.recv_addr=127.0.0.1:$((base + 20 + n));gcache.size=32M;evs.suspect_timeout=PT5S;evs.inactive_timeout=PT10S;pc.wait_prim_timeout=PT30S" \
    "${extra[@]}" >/dev/null 2>&1 &
  echo "$base" >"$dir/base-port"
  for _ in $(seq 1 450); do
    if [ "$(node_sql "$nd" "show status like 'wsrep_ready'" | awk '{print $2}')" = ON ]; then
      echo "Galera node $n runs on 127.0.0.1:$port"
      return 0
    fi
    sleep 0.2
  done
  echo "Galera node $n did not start; see $nd/error.log" >&2
  tail -n 30 "$nd/error.log" >&2 || true
  return 1
}

stop_node() {
  local nd="$dir/node$1"
  [ -d "$nd" ] || return 0
  mariadb-admin --no-defaults --protocol=socket --socket="$nd/mysqld.sock" -uroot shutdown >/dev/null 2>&1 || true
  if [ -f "$nd/mysqld.pid" ]; then
    local pid
    pid=$(cat "$nd/mysqld.pid")
    for _ in $(seq 1 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null && tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null |
      grep -q -- "mariadbd .*--datadir=$nd/data "; then
      kill -9 "$pid" 2>/dev/null || true
    fi
    rm -f "$nd/mysqld.pid"
  fi
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
cluster-start)
  base=${3:?port}
  if [ "$(node_sql "$dir/node1" "show status like 'wsrep_cluster_size'" | awk '{print $2}')" = 3 ]; then
    echo "The Galera cluster already runs from $dir"
    exit 0
  fi
  start_node 1 new "$base"
  start_node 2 join "$base"
  start_node 3 join "$base"
  ;;
cluster-stop)
  # The last node stopped is the one that may start the cluster again.
  for n in 3 2 1; do stop_node "$n"; done
  ;;
node-stop)
  stop_node "${3:?node number}"
  ;;
node-start)
  start_node "${3:?node number}" join "$(cat "$dir/base-port")"
  ;;
*)
  echo "usage: $0 start DIR PORT | stop DIR | cluster-start DIR PORT | cluster-stop DIR | node-stop DIR N | node-start DIR N" >&2
  exit 2
  ;;
esac
