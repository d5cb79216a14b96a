#!/usr/bin/env bash
# Sets up and runs the whole test suite: installs what is missing, builds, starts a private
# MariaDB server on its own port and socket under the build folder, runs ctest, stops the server.
#   scripts/test.sh                 normal build in build/
#   scripts/test.sh address         AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
#   scripts/test.sh thread [REGEX]  ThreadSanitizer build in build-tsan/ of the pool and SMPP tests
#                                   (REGEX narrows the ctest selection further)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

sanitize=${1:-}
filter=${2:-}
case "$sanitize" in
  "") build="$root/build" ;;
  address) build="$root/build-asan" ;;
  thread) build="$root/build-tsan" ;;
  *) echo "usage: $0 [address|thread [REGEX]]" >&2; exit 2 ;;
esac

bash scripts/install-deps.sh --test

# The include order and the formatting of the sources.
python3 scripts/check-layers.py
bash scripts/check-format.sh

jobs=$(nproc)
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_SANITIZE="$sanitize" \
  -DQUORVEL_BUILD_BENCH="$([ -z "$sanitize" ] && echo ON || echo OFF)" >/dev/null
if [ "$sanitize" = thread ]; then
  # Only the programs the ThreadSanitizer run covers, and only their tests.
  cmake --build "$build" -j "$jobs" --target tests_pool tests_smpp
  filter=${filter:-'^tests_(pool|smpp)\.'}
else
  cmake --build "$build" -j "$jobs"
fi

dbdir="$build/mariadb"
dbport=${QUORVEL_TEST_DB_PORT:-23306}
bash scripts/db-server.sh start "$dbdir" "$dbport"
trap 'bash scripts/db-server.sh stop "$dbdir"' EXIT

export QUORVEL_TEST_DB_HOST=127.0.0.1
export QUORVEL_TEST_DB_PORT="$dbport"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
# LeakSanitizer reports for the MySQL client library's one-time global allocations are not ours.
export LSAN_OPTIONS=suppressions="$root/tests/lsan.supp"
ctest_args=(--test-dir "$build" --output-on-failure -j "$jobs")
[ -n "$filter" ] && ctest_args+=(-R "$filter")
ctest "${ctest_args[@]}"
