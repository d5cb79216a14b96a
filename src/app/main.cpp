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
        std::puts("Usage: quorvel [--version | --help]\n\n"
                  "Monitors the network services registered in its database and raises alarms when they\n"
                  "fail. It takes its settings from conf/SysInit.ini under its installation folder.");
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
