#!/usr/bin/env bash
# The systemd unit of quorveld is accepted by systemd-analyze verify, with its ExecStart pointed at
# the program just built and its manual page where man finds it; a unit with a planted mistake is
# not. Skipped (77) where systemd-analyze is not installed.
#   test_service_unit.sh QUORVELD
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
pkg="$here/../../packaging"
quorveld=$1
command -v systemd-analyze >/dev/null || { echo "systemd-analyze is not installed"; exit 77; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/man/man8" "$tmp/unit"
cp "$pkg/man/quorveld.8" "$tmp/man/man8/"
unit="$tmp/unit/quorveld.service"
sed "s#^ExecStart=/usr/sbin/quorveld #ExecStart=$quorveld #" "$pkg/quorveld.service" >"$unit"
grep -q "^ExecStart=$quorveld " "$unit" || { echo "unit: no ExecStart=/usr/sbin/quorveld to point at the build"; exit 1; }

if ! out=$(MANPATH="$tmp/man" systemd-analyze verify "$unit" 2>&1) || [ -n "$out" ]; then
  echo "unit: systemd-analyze verify: $out"
  exit 1
fi

# What the service relies on: readiness and watchdog through sd_notify, and its confinement.
for line in Type=notify WatchdogSec= User=quorveld ProtectSystem=strict ProtectHome=true NoNewPrivileges=true \
  AmbientCapabilities=CAP_NET_RAW LogsDirectory=quorveld StateDirectory=quorveld; do
  grep -q "^$line" "$unit" || { echo "unit: no $line"; exit 1; }
done

# The check itself catches a mistake.
sed 's/^Type=notify/Type=notifying/' "$unit" >"$tmp/unit/broken.service"
if MANPATH="$tmp/man" systemd-analyze verify "$tmp/unit/broken.service" >/dev/null 2>&1 &&
  [ -z "$(MANPATH="$tmp/man" systemd-analyze verify "$tmp/unit/broken.service" 2>&1)" ]; then
  echo "unit: a planted mistake was not caught"
  exit 1
fi
echo "unit: quorveld.service verified"
