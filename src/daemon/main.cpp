// quorveld: the monitoring cycle as a service, without a window.
#include "daemon/Daemon.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const DaemonOptions options = ParseDaemonOptions(arguments);
    switch (options.action) {
    case DaemonOptions::Action::Help:
        std::fputs(DaemonHelpText().toLocal8Bit().constData(), stdout);
        return ExitOk;
    case DaemonOptions::Action::Version:
        std::fputs(DaemonVersionText().toLocal8Bit().constData(), stdout);
        return ExitOk;
    case DaemonOptions::Action::UsageError:
        std::fprintf(stderr, "quorveld: %s\nTry 'quorveld --help' for more information.\n",
                     options.error.toLocal8Bit().constData());
        return ExitUsage;
    default:
        break;
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorveld"));
    return RunDaemon(options);
}
