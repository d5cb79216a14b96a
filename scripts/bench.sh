#!/usr/bin/env bash
# Builds and runs every benchmark against a private MariaDB server (its own port and data folder
# under build-bench/), and prints their figures; each benchmark measures against a baseline in the
# same run. Benchmarks never fail the build.
#
#   scripts/bench.sh [NAME-REGEX [ARGUMENTS...]]
#
# runs the benchmarks whose program name matches NAME-REGEX (all by default), each with ARGUMENTS;
# for example `scripts/bench.sh bench_scaleout c` (the burst on the Galera cluster alone),
# `scripts/bench.sh bench_idle 10` (quorveld and the desktop program idle, 10 measured minutes
# each), `scripts/bench.sh bench_pool`, `scripts/bench.sh bench_checks`. When bench_scaleout is
# among them and Galera is installed, a 3-node test cluster is started for it too
# (QUORVEL_BENCH_CLUSTER_PORT, default 100 above the database's port).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/build-bench"
only=${1:-.}
shift || true

bash scripts/install-deps.sh --test
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)"

dbdir="$build/mariadb"
dbport=${QUORVEL_BENCH_DB_PORT:-23406}
bash scripts/db-server.sh start "$dbdir" "$dbport"
clusterdir="$build/galera"
cleanup() {
  [ -d "$clusterdir" ] && bash scripts/db-server.sh cluster-stop "$clusterdir"
  bash scripts/db-server.sh stop "$dbdir"
}
trap cleanup EXIT
export QUORVEL_TEST_DB_HOST=127.0.0.1 QUORVEL_TEST_DB_PORT="$dbport" QUORVEL_BENCH_DB_PORT="$dbport" QT_QPA_PLATFORM=offscreen
if [[ bench_scaleout =~ $only ]] && { [ -f /usr/lib/galera/libgalera_smm.so ] || [ -f /usr/lib/libgalera_smm.so ]; }; then
  clusterport=${QUORVEL_BENCH_CLUSTER_PORT:-$((dbport + 100))}
  bash scripts/db-server.sh cluster-start "$clusterdir" "$clusterport" && export QUORVEL_BENCH_CLUSTER_PORT="$clusterport"
fi

status=0
for program in $(find "$build/bench" -maxdepth 1 -type f -name 'bench_*' -perm -u+x | sort); do
  name=$(basename "$program")
  [[ "$name" =~ $only ]] || continue
  echo "==== $name"
  "$program" "$@" || { echo "$name ended with status $?"; status=1; }
done
exit $status
