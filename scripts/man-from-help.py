#!/usr/bin/env python3
"""Writes the quorvel(1), quorvel-probe(1) and quorveld(8) manual pages from the programs' own help.

    scripts/man-from-help.py QUORVEL > packaging/man/quorvel.1
    scripts/man-from-help.py PROBE > packaging/man/quorvel-probe.1
    scripts/man-from-help.py QUORVELD > packaging/man/quorveld.8

Run it again whenever a command or an option changes; tests/scripts/test_packaging_files.sh fails
while the page in the tree and the program's help disagree.
"""
import os
import re
import subprocess
import sys


def roff(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return re.sub(r"^([.'])", r"\\&\1", text, flags=re.M)


def run(probe, *args):
    return subprocess.run([probe, *args], capture_output=True, text=True, check=True).stdout


def option_lines(block):
    """(option, description) pairs of an indented option list."""
    pairs = []
    for line in block.splitlines():
        m = re.match(r"^  (--\S+(?: \S+)?)\s{2,}(.*)$", line) or re.match(r"^  (--\S+(?: [A-Z][A-Z:=_]*)?) (.*)$", line)
        if m:
            pairs.append([m.group(1), m.group(2).strip()])
        elif pairs and line.startswith("    "):
            pairs[-1][1] += " " + line.strip()
    return pairs


def section(text, head):
    m = re.search(r"^" + re.escape(head) + r"\n((?:  .*\n?)+)", text, flags=re.M)
    return m.group(1) if m else ""


def daemon_page(daemon):
    """quorveld(8): its help's paragraphs, plus what a service's page adds (environment, files)."""
    general = run(daemon, "--help")
    version = run(daemon, "--version").split()[1]
    paragraphs = general.rstrip("\n").split("\n\n")
    description, behaviour, status = paragraphs[1], paragraphs[3], paragraphs[4]
    out = ['.TH QUORVELD 8 "" "Quorvel %s" "System Administration"' % version]
    out.append(".SH NAME")
    out.append("quorveld \\- the Quorvel monitoring cycle as a system service")
    out.append(".SH SYNOPSIS")
    out.append(".B quorveld\n.RB [ \\-\\-config\n.IR FILE ]\n.RB [ \\-\\-check\\-config ]")
    out.append(".br\n.B quorveld \\-\\-help\n.br\n.B quorveld \\-\\-version")
    out.append(".SH DESCRIPTION")
    out.append(roff(" ".join(description.split())))
    out.append(".PP\n" + roff(" ".join(behaviour.split())))
    out.append(".SH OPTIONS")
    for option, text in option_lines(section(general, "Options:")):
        out.append(".TP\n.B " + roff(option) + "\n" + roff(text))
    out.append(".SH ENVIRONMENT")
    for name, text in (
        ("LOGS_DIRECTORY", "the log folder (systemd sets it from LogsDirectory=); the first of several is used"),
        ("NOTIFY_SOCKET", "systemd's notification socket: READY=1 once the first minute tick is armed, "
                          "RELOADING=1 on SIGHUP, STOPPING=1 on SIGTERM and SIGINT"),
        ("WATCHDOG_USEC", "with WatchdogSec=, the program pings systemd's watchdog from its main loop at half "
                          "this interval"),
        ("QUORVELD_TICK_MS", "the minute tick's interval in milliseconds, from 100 to 60000 (other values are "
                             "ignored), for trying services out and for tests; each tick still checks the "
                             "services due at the current minute"),
    ):
        out.append(".TP\n.B " + roff(name) + "\n" + roff(text))
    out.append(".SH EXIT STATUS")
    out.append(roff(" ".join(status.split()[2:])))
    out.append(".SH FILES")
    for name, text in (
        ("/etc/quorvel/SysInit.ini", "the settings of the installed service, the same file as the desktop "
                                     "program's conf/SysInit.ini"),
        ("/etc/quorvel/SysInit.ini.lock", "the lock of the running instance, when the folder can be written; "
                                          "the settings file itself is locked as well"),
        ("/var/log/quorveld", "the system log and the alarm message log of the installed service"),
        ("quorveld.service", "the systemd unit"),
    ):
        out.append(".TP\n.I " + roff(name) + "\n" + roff(text))
    out.append(".SH SEE ALSO")
    out.append(".BR quorvel (1),\n.BR quorvel\\-probe (1),\n.BR systemd.service (5)")
    return "\n".join(out)


def desktop_page(program):
    """quorvel(1): its help's description, options, files and exit status."""
    general = run(program, "--help")
    version = run(program, "--version").split()[1]
    paragraphs = general.rstrip("\n").split("\n\n")
    out = ['.TH QUORVEL 1 "" "Quorvel %s" "User Commands"' % version]
    out.append(".SH NAME")
    out.append("quorvel \\- desktop monitor of network services with alarms")
    out.append(".SH SYNOPSIS")
    out.append(".B quorvel\n.br\n.B quorvel \\-\\-version\n.br\n.B quorvel \\-\\-help")
    out.append(".SH DESCRIPTION")
    out.append(roff(" ".join(paragraphs[1].split())))
    out.append(".SH OPTIONS")
    for option, text in option_lines(section(general, "Options:")):
        out.append(".TP\n.B " + roff(option) + "\n" + roff(text))
    out.append(".SH FILES")
    files = []
    for line in section(general, "Files:").splitlines():
        if line.startswith("      ") and files:
            files[-1][1] += " " + line.strip()
        elif line.strip():
            files.append([line.strip(), ""])
    for name, text in files:
        out.append(".TP\n.I " + roff(name) + "\n" + roff(text.strip()))
    status = next(p for p in paragraphs if p.startswith("Exit status:"))
    out.append(".SH EXIT STATUS")
    out.append(roff(" ".join(status.split()[2:])))
    out.append(".SH SEE ALSO")
    out.append(".BR quorvel\\-probe (1),\n.BR quorveld (8)")
    return "\n".join(out)


def main():
    if os.path.basename(sys.argv[1]) == "quorveld":
        print(daemon_page(sys.argv[1]))
        return
    if os.path.basename(sys.argv[1]) == "quorvel":
        print(desktop_page(sys.argv[1]))
        return
    probe = sys.argv[1]
    general = run(probe, "--help")
    version = run(probe, "--version").split()[1]
    out = []
    out.append('.TH QUORVEL\\-PROBE 1 "" "Quorvel %s" "User Commands"' % version)
    out.append(".SH NAME")
    out.append("quorvel\\-probe \\- run one Quorvel check or alarm delivery from the command line")
    out.append(".SH SYNOPSIS")
    out.append(".B quorvel\\-probe\n.I COMMAND\n[\\fIoptions\\fR]\n.I TARGET")
    out.append(".br\n.B quorvel\\-probe\n.I ALARM\n[\\fIoptions\\fR]\n.I MESSAGE")
    out.append(".br\n.B quorvel\\-probe\n.RI [ COMMAND ]\n.B \\-\\-help")
    out.append(".br\n.B quorvel\\-probe \\-\\-version")
    out.append(".SH DESCRIPTION")
    desc = general.split("\n\n")[1]
    out.append(roff(" ".join(desc.split())))
    for title, head in (("CHECK COMMANDS", "Check commands:"), ("ALARM COMMANDS", "Alarm commands:")):
        out.append(".SH " + title)
        for line in section(general, head).splitlines():
            m = re.match(r"^  (\S+) \[options\] (\S+)\s+(.*)$", line)
            if not m:
                continue
            name, argument, summary = m.groups()
            details = run(probe, name, "--help")
            out.append(".SS %s" % name)
            out.append(".B quorvel\\-probe %s\n[\\fIoptions\\fR]\n.I %s" % (name, argument))
            out.append(".PP\n" + roff(summary[0].upper() + summary[1:] + "."))
            body = details.split("\n\n")
            extra = [b for b in body[2:] if not b.startswith(("Options", "Default port"))]
            for paragraph in extra:
                out.append(".PP\n" + roff(" ".join(paragraph.split())))
            for option, text in option_lines(section(details, "Options:")):
                out.append(".TP\n.B " + roff(option) + "\n" + roff(text))
            m = re.search(r"^Default port: .*$", details, flags=re.M)
            if m:
                out.append(".PP\n" + roff(m.group(0)))
    out.append(".SH OPTIONS")
    out.append("Options of every command (see each command for the exceptions):")
    for option, text in option_lines(section(general, "Options of every command:")):
        out.append(".TP\n.B " + roff(option) + "\n" + roff(text))
    out.append(".TP\n.B \\-\\-version\nprint the name and version")
    out.append(".SH EXIT STATUS")
    out.append("Checks: 0 passed, 2 failed, 3 usage error.\n.br\nAlarm commands: 0 sent, 2 error, 3 usage error.")
    out.append(".SH EXAMPLES")
    out.append(".nf\nquorvel\\-probe url \\-\\-method Get http://intranet.example/health\n"
               "quorvel\\-probe smtp mail.example \\-\\-timeout 5000\n"
               "quorvel\\-probe imap mail.example \\-\\-port 993 \\-\\-user alice \\-\\-password s3cret\n.fi")
    out.append(".SH SEE ALSO")
    out.append(".BR quorvel (1)")
    print("\n".join(out))


main()
