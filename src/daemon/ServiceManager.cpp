#include "daemon/ServiceManager.h"

#include <systemd/sd-daemon.h>

#include <algorithm>

namespace {

void notify(const QByteArray& state)
{
    sd_notify(0, state.constData());
}

} // namespace

ServiceManager::ServiceManager(QObject* parent) : QObject(parent)
{
    connect(&m_watchdog, &QTimer::timeout, this, [] { notify("WATCHDOG=1"); });
}

void ServiceManager::startWatchdog()
{
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0)
        return;
    const uint64_t halfMs = usec / 2000;
    m_watchdog.start(static_cast<int>(std::clamp<uint64_t>(halfMs, 1, 3600000)));
    notify("WATCHDOG=1");
}

void ServiceManager::ready()
{
    notify("READY=1\nSTATUS=Monitoring");
}

void ServiceManager::reloading()
{
    notify("RELOADING=1\nSTATUS=Reading the settings again");
}

void ServiceManager::stopping()
{
    notify("STOPPING=1\nSTATUS=Stopping after the running checks");
}

void ServiceManager::status(const QString& text)
{
    notify("STATUS=" + text.toUtf8());
}
