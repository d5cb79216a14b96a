#include "daemon/DaemonNotifier.h"

#include "core/auxFunc.h"

#include <cstdio>
#include <syslog.h>

namespace {

void writeLine(int priority, const char* title, const QString& text)
{
    // One message is one line, wherever it goes.
    const QByteArray line = BlankControls(text).toLocal8Bit();
    syslog(priority, "%s: %s", title, line.constData());
    std::fprintf(stderr, "quorveld: %s: %s\n", title, line.constData());
    std::fflush(stderr);
}

} // namespace

DaemonNotifier::DaemonNotifier()
{
    openlog("quorveld", LOG_PID, LOG_DAEMON);
}

DaemonNotifier::~DaemonNotifier()
{
    closelog();
}

void DaemonNotifier::show(Kind kind, const QString& text)
{
    switch (kind) {
    case Kind::Error:
        writeLine(LOG_ERR, "Error", text);
        break;
    case Kind::Warning:
        writeLine(LOG_WARNING, "Warning", text);
        break;
    case Kind::Information:
        writeLine(LOG_INFO, "Information", text);
        break;
    }
}

bool DaemonNotifier::confirm(const QString& text)
{
    writeLine(LOG_NOTICE, "Confirmation", text + QStringLiteral(" (answered No)"));
    return false;
}
