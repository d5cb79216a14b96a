#!/usr/bin/env python3
"""Checks that the includes of src/ run downward only.

Each folder of src/ may include its own headers and those of the folders below it:

    core                     nothing of ours outside core
    net, pool, database      core
    smpp                     net, core
    checks, alarms           core, net, pool, smpp
    monitor                  everything above
    gui (and gui/dialogs)    monitor and below
    app                      gui and below
    probe                    monitor and below, never gui
    daemon                   monitor and below, never gui

Widget and GUI headers of Qt (QtWidgets, QtGui, QtCharts) are included only in gui and app.
Prints every violation and exits 1 when there is one.  Usage: check-layers.py [SOURCE_ROOT]
"""
import os
import re
import sys

ENGINE = {"core", "net", "pool", "database", "smpp", "checks", "alarms", "monitor"}
ALLOWED = {
    "core": {"core"},
    "net": {"core", "net"},
    "pool": {"core", "pool"},
    "database": {"core", "database"},
    "smpp": {"core", "net", "smpp"},
    "checks": {"core", "net", "pool", "smpp", "checks"},
    "alarms": {"core", "net", "pool", "smpp", "alarms"},
    "monitor": ENGINE,
    "gui": ENGINE | {"gui"},
    "app": ENGINE | {"gui", "app"},
    "probe": ENGINE | {"probe"},
    "daemon": ENGINE | {"daemon"},
}
WIDGET_FOLDERS = {"gui", "app"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def qt_gui_headers():
    """Names of the QtWidgets, QtGui and QtCharts headers installed on this machine."""
    names = set()
    for base in ("/usr/include/x86_64-linux-gnu/qt6", "/usr/include/qt6", "/usr/include/aarch64-linux-gnu/qt6"):
        for module in ("QtWidgets", "QtGui", "QtCharts", "QtOpenGL", "QtOpenGLWidgets"):
            folder = os.path.join(base, module)
            if os.path.isdir(folder):
                names.update(n for n in os.listdir(folder) if not n.endswith(".h") or n.startswith("q"))
                names.add(module)
    return names


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src")
    root = os.path.abspath(root)
    gui_headers = qt_gui_headers()
    problems = []
    for folder, _, files in os.walk(root):
        rel = os.path.relpath(folder, root)
        layer = rel.split(os.sep)[0]
        if layer == ".":
            continue
        if layer not in ALLOWED:
            problems.append(f"{rel}: folder is not a known layer")
            continue
        for name in sorted(files):
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(folder, name)
            with open(path, encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if not m:
                        continue
                    kind, target = m.groups()
                    where = f"{os.path.relpath(path, root)}:{number}"
                    if kind == '"':
                        top = target.split("/")[0]
                        if "/" in target and top not in ALLOWED[layer]:
                            problems.append(f"{where}: {layer} may not include \"{target}\"")
                    elif layer not in WIDGET_FOLDERS:
                        module = target.split("/")[0]
                        leaf = target.split("/")[-1]
                        if module in ("QtWidgets", "QtGui", "QtCharts") or leaf in gui_headers:
                            problems.append(f"{where}: widget or GUI header <{target}> outside gui and app")
    for p in problems:
        print(p)
    if problems:
        print(f"check-layers: {len(problems)} include(s) reach up or pull widgets into the engine", file=sys.stderr)
        return 1
    print("check-layers: includes run downward only")
    return 0


if __name__ == "__main__":
    sys.exit(main())
