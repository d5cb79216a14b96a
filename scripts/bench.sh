#!/usr/bin/env bash
# Builds and runs every benchmark against a private MariaDB server (its own port and data folder
# under build-bench/), and prints their figures; each benchmark measures against a baseline in the
# same run. Benchmarks never fail the build.   scripts/bench.sh [NAME-REGEX]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/build-bench"
only=${1:-.}

bash scripts/install-deps.sh --test
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)"

dbdir="$build/mariadb"
dbport=${QUORVEL_BENCH_DB_PORT:-23406}
bash scripts/db-server.sh start "$dbdir" "$dbport"
trap 'bash scripts/db-server.sh stop "$dbdir"' EXIT
export QUORVEL_TEST_DB_HOST=127.0.0.1 QUORVEL_TEST_DB_PORT="$dbport" QUORVEL_BENCH_DB_PORT="$dbport" QT_QPA_PLATFORM=offscreen

status=0
for program in $(find "$build/bench" -maxdepth 1 -type f -name 'bench_*' -perm -u+x | sort); do
  name=$(basename "$program")
  [[ "$name" =~ $only ]] || continue
  echo "==== $name"
  "$program" || { echo "$name ended with status $?"; status=1; }
done
exit $status
