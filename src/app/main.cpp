// The quorvel program. It takes no command-line arguments.
#include "gui/Application.h"
#include "gui/GuiNotifier.h"

int main(int argc, char** argv)
{
    QuorvelApplication app(argc, argv);
    GuiNotifier boxes;
    Notifier::install(&boxes);
    InstallTerminationSignals();
    const int code = RunQuorvel();
    Notifier::install(nullptr);
    return code;
}
