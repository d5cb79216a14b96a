#pragma once

#include "core/Notifier.h"

// What the desktop program shows in a message box, the service writes as one line to the system
// log (syslog, facility daemon) and one line to standard error. Questions are answered No.
class DaemonNotifier final : public Notifier
{
public:
    DaemonNotifier();
    ~DaemonNotifier() override;
    DaemonNotifier(const DaemonNotifier&) = delete;
    DaemonNotifier& operator=(const DaemonNotifier&) = delete;

    void show(Kind kind, const QString& text) override;
    bool confirm(const QString& text) override;
};
