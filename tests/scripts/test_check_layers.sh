#!/usr/bin/env bash
# The include-order check passes on the tree and fails on planted upward and widget includes.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
script="$here/../../scripts/check-layers.py"
src="$here/../../src"
python3 "$script" "$src" >/dev/null

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
plant() { # FILE LINE: a copy of src with LINE added to FILE must fail the check
  rm -rf "$tmp/src"
  cp -r "$src" "$tmp/src"
  mkdir -p "$(dirname "$tmp/src/$1")"
  echo "$2" >>"$tmp/src/$1"
  if python3 "$script" "$tmp/src" >"$tmp/out" 2>&1; then
    echo "not caught: $2 in $1"; exit 1
  fi
  grep -q "$1" "$tmp/out" || { echo "not named: $1"; cat "$tmp/out"; exit 1; }
}
plant core/Clock.cpp '#include "database/DataModuleQuorvel.h"'
plant net/Socket.cpp '#include "pool/PoolWorkItem.h"'
plant checks/ThreadCheck.h '#include "database/DataModuleQuorvel.h"'
plant monitor/MonitorEngine.cpp '#include "gui/menu.h"'
plant probe/main.cpp '#include "gui/menu.h"'
plant daemon/main.cpp '#include "gui/menu.h"'
plant daemon/Daemon.cpp '#include <QGuiApplication>'
plant monitor/MonitorEngine.h '#include <QWidget>'
plant database/Schema.cpp '#include <QtWidgets/QMessageBox>'
plant core/Clock.h '#include <QColor>'
echo "check-layers: planted includes caught"
