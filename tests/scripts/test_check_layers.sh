#!/usr/bin/env bash
# The layer check passes on the tree, fails on planted upward and widget includes and on SQL
# statement text planted in a window's or the engine's source, and lets captions that share a
# keyword pass.
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
pass() { # FILE LINE: a copy of src with LINE added to FILE must still pass the check
  rm -rf "$tmp/src"
  cp -r "$src" "$tmp/src"
  echo "$2" >>"$tmp/src/$1"
  python3 "$script" "$tmp/src" >"$tmp/out" 2>&1 || { echo "wrongly caught: $2 in $1"; cat "$tmp/out"; exit 1; }
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

plant gui/dialogs/scheduling.cpp 'const char* const kPlanted = "delete from contact_person where id=";'
plant gui/dialogs/contactSettings.cpp 'const QString kPlanted = QStringLiteral("SELECT id,name from contact_person");'
plant gui/menu.cpp 'const char* const kPlanted = "select * from service";'
plant gui/dialogs/chartings.cpp 'const char* const kPlanted = "Kill Query ";'
plant gui/dialogs/alarmSettings.cpp 'const char* const kPlanted = "update alarm_method set enable=1";'
plant gui/dialogs/alarmSettings.cpp 'const char* const kPlanted = "insert into alarm_method (type) values (";'
plant gui/dialogs/alarmSettings.h 'const char* const kPlanted = R"(ALTER TABLE service ADD x INT)";'
plant gui/dialogs/scheduling.cpp 'const char* const kPlanted = " where schedule_time=";'
plant monitor/MonitorEngine.cpp 'const char* const kPlanted = "update service set status=";'
plant monitor/MonitorEngine.cpp 'const QString kPlanted = QStringLiteral("SELECT distinct ip from service");'
pass gui/menu.cpp 'const char* const kCaption = "Update Service";'
pass gui/dialogs/scheduling.cpp 'const char* const kCaption = "Select All";'
pass monitor/MonitorEngine.cpp 'const char* const kStep = "Scheduler: selecting the due services";'
pass gui/dialogs/scheduling.cpp 'const char* const kCaption = "Please select the service to delete from the list";'
pass gui/dialogs/scheduling.cpp 'const char* const kCaption = "Select one from the list";'
pass gui/dialogs/scheduling.cpp 'const char* const kCaption = "Insert into the list";'
pass gui/dialogs/scheduling.cpp '// A comment may say: delete from contact_person where id=1'
pass gui/dialogs/scheduling.cpp 'const char kQuote = '"'"'"'"'"'; const char* const kCaption = "Select schedule";'
echo "check-layers: planted includes and statements caught, captions passed"
