#!/usr/bin/env bash
# Sets up and runs Quorvel: installs what is missing, builds, installs into ./install, makes sure a
# MariaDB server answers on localhost:3306 (starting a private one with its data under the install
# tree when nothing listens there), and starts the program (under Xvfb when there is no display).
#   run.sh             the desktop program
#   run.sh --service   the monitoring service quorveld in the foreground (Ctrl-C stops it), with
#                      the installation's conf/SysInit.ini, logging into its log/
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
prefix="$root/install"

service=0
case "${1:-}" in
  "") ;;
  --service) service=1 ;;
  *) echo "usage: $0 [--service]" >&2; exit 2 ;;
esac

bash scripts/install-deps.sh

cmake -S . -B "$root/build-run" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_BUILD_TESTS=OFF \
  -DQUORVEL_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build-run" -j "$(nproc)"
cmake --install "$root/build-run" --prefix "$prefix" >/dev/null

# The program finds its installation root as the folder above its own (bin/..), unless
# ~/.config/tolvern/Quorvel.conf names another.

if ! (exec 3<>/dev/tcp/127.0.0.1/3306) 2>/dev/null; then
  bash scripts/db-server.sh start "$prefix/mariadb" 3306
fi

if [ "$service" = 1 ]; then
  # The settings the desktop program writes at its first start; until then, the defaults (the
  # database on localhost:3306 as root without a password).
  conf="$prefix/conf/SysInit.ini"
  if [ ! -f "$conf" ]; then
    mkdir -p "$prefix/conf"
    printf '[Database]\r\nHost=localhost\r\nPort=3306\r\n' >"$conf"
  fi
  exec "$prefix/sbin/quorveld" --config "$conf"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$prefix/bin/quorvel"
fi
exec "$prefix/bin/quorvel"
