// The quorvel program. It takes no command-line arguments but --version and --help, which
// print and end before any window (or display) is needed.
#include "gui/Application.h"
#include "gui/GuiNotifier.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("quorvel " QUORVEL_VERSION);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        // The manual page quorvel(1) is made from this text (scripts/man-from-help.py).
        std::puts(
            "Usage: quorvel [--version | --help]\n"
            "\n"
            "Watches the network services registered in its database: web pages and HTTP end points,\n"
            "hosts that answer ping, SMTP, POP3 and IMAP mail servers, FTP servers, TCP ports and DNS\n"
            "names. Once a minute it checks the services that are due, records every outcome in a\n"
            "MariaDB or MySQL database, writes daily logs and raises alarms by e-mail, SMS and syslog.\n"
            "Without an option it opens its main window; its Help explains each window.\n"
            "\n"
            "Options:\n"
            "  --version  print the name and version and exit\n"
            "  --help     print this help and exit\n"
            "\n"
            "Files:\n"
            "  ~/.config/tolvern/Quorvel.conf\n"
            "      optional; [Settings] AppPath names the installation root (read, never written)\n"
            "  ROOT/conf/SysInit.ini\n"
            "      the settings of an installation tree: a root named by AppPath, or the folder above\n"
            "      the program's own when the user may write it\n"
            "  ROOT/log/\n"
            "      the daily system log and alarm message log of an installation tree\n"
            "  $XDG_CONFIG_HOME/quorvel/conf/SysInit.ini\n"
            "      the settings of an installed copy (/usr/bin/quorvel), by default under ~/.config\n"
            "  $XDG_STATE_HOME/quorvel/log/\n"
            "      the logs of an installed copy, by default under ~/.local/state\n"
            "  /usr/share/quorvel/help/Quorvel.html\n"
            "      the help of an installed copy\n"
            "\n"
            "Exit status: 0 when the program ends normally, 1 when it cannot start (no log folder, no\n"
            "database driver, or another instance running).");
        return 0;
    }
    QuorvelApplication app(argc, argv);
    GuiNotifier boxes;
    Notifier::install(&boxes);
    InstallTerminationSignals();
    const int code = RunQuorvel();
    Notifier::install(nullptr);
    return code;
}
