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
No string literal under gui or monitor holds SQL statement text: the windows and the engine call
the stores of database.
A literal counts as a statement when it holds a keyword in the shape a statement gives it
(SELECT with a column list or "*", INSERT INTO a table, UPDATE x SET, DELETE FROM a table, KILL
QUERY, CREATE/ALTER/DROP TABLE, a WHERE condition, ...), so captions such as "Select All",
"Update Service" or "Delete from the list" pass.
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
SQL_FOLDERS = {"gui", "monitor"}
SQL_STATEMENT = re.compile(
    r"\bselect\s+(\*|distinct\b|[\w.]+\s*(,|\(|\s+as\b|\s+from\s+[\w.]+\s*($|;|,|\b(where|order|group|limit)\b)))"
    r"|\b(insert|replace)\s+(ignore\s+)?into\s+[\w.]+\s*($|\(|\b(values|select|set)\b)"
    r"|\bupdate\s+[\w.]+\s+set\b"
    r"|\bdelete\s+from\s+[\w.]+\s*($|;|\bwhere\b)"
    r"|\bkill\s+(query|connection)\b"
    r"|\b(create|alter|drop|truncate)\s+table\b"
    r"|\bwhere\s+[\w.]+\s*(=|<>|!=|<|>|\blike\b|\bin\s*\()",
    re.IGNORECASE,
)


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


def string_literals(text):
    """The string literals of C++ source `text` as (line, contents), comments and character
    literals skipped; a raw string's contents are taken whole."""
    found = []
    i, n, line = 0, len(text), 1
    while i < n:
        c = text[i]
        if c == "\n":
            line += 1
            i += 1
        elif text.startswith("//", i):
            end = text.find("\n", i)
            i = n if end < 0 else end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            line += text.count("\n", i, end)
            i = end
        elif c == "R" and text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")
                                                        or text[i - 1] in "uUL8"):
            open_paren = text.find("(", i + 2)
            delimiter = text[i + 2:open_paren]
            end = text.find(")" + delimiter + '"', open_paren)
            end = n if end < 0 else end
            found.append((line, text[open_paren + 1:end]))
            line += text.count("\n", i, end)
            i = end + len(delimiter) + 2
        elif c == "'" and not (i > 0 and (text[i - 1].isalnum() or text[i - 1] == "_")):
            j = i + 1
            while j < n and text[j] not in "'\n":
                j += 2 if text[j] == "\\" else 1
            i = j + 1
        elif c == '"':
            j = i + 1
            while j < n and text[j] not in '"\n':
                j += 2 if text[j] == "\\" else 1
            found.append((line, text[i + 1:j]))
            i = j + 1
        else:
            i += 1
    return found


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
            if layer in SQL_FOLDERS:
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, literal in string_literals(f.read()):
                        if SQL_STATEMENT.search(literal):
                            problems.append(f"{os.path.relpath(path, root)}:{number}: SQL statement text in "
                                            f"{layer} (use a store of database): \"{literal}\"")
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
        print(f"check-layers: {len(problems)} include(s) reach up or pull widgets into the engine, "
              "or statement(s) stand outside the stores", file=sys.stderr)
        return 1
    print("check-layers: includes run downward only; no SQL statement text in gui or monitor")
    return 0


if __name__ == "__main__":
    sys.exit(main())
