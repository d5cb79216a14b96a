#!/usr/bin/env bash
# Sets up and runs Quorvel: installs what is missing, builds, installs into ./install, makes sure a
# MariaDB server answers on localhost:3306 (starting a private one with its data under the install
# tree when nothing listens there), and starts the program (under Xvfb when there is no display).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
prefix="$root/install"

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

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$prefix/bin/quorvel"
fi
exec "$prefix/bin/quorvel"
